# Packs the example folder with Dedezodi, restores the archive with Vuvodiv
# in an empty folder, and checks that every file came back unchanged.
# Run by CTest: cmake -DDEDEZODI=... -DVUVODIV=... -DEJEMPLOS=... -DTRABAJO=... -P demo.cmake

file(REMOVE_RECURSE "${TRABAJO}")
file(MAKE_DIRECTORY "${TRABAJO}/empaquetar" "${TRABAJO}/restaurar")
file(GLOB ejemplos "${EJEMPLOS}/*")
list(FILTER ejemplos EXCLUDE REGEX "\\.cmake$")
file(COPY ${ejemplos} DESTINATION "${TRABAJO}/empaquetar")

execute_process(COMMAND "${DEDEZODI}" ejemplo WORKING_DIRECTORY "${TRABAJO}/empaquetar"
                RESULT_VARIABLE estado)
if(NOT estado EQUAL 0)
  message(FATAL_ERROR "Dedezodi failed with status ${estado}")
endif()
if(NOT VUVODIV)
  message(STATUS "Packed ${TRABAJO}/empaquetar/ejemplo.cmp")
  return()
endif()

file(COPY "${TRABAJO}/empaquetar/ejemplo.cmp" DESTINATION "${TRABAJO}/restaurar")
execute_process(COMMAND "${VUVODIV}" ejemplo WORKING_DIRECTORY "${TRABAJO}/restaurar"
                RESULT_VARIABLE estado)
if(NOT estado EQUAL 0)
  message(FATAL_ERROR "Vuvodiv failed with status ${estado}")
endif()

file(STRINGS "${EJEMPLOS}/ejemplo.lst" lineas REGEX "^[^*]")
foreach(linea IN LISTS lineas)
  string(REGEX MATCH "^[^ \t]+" nombre "${linea}")
  string(REPLACE "_" "." nombre "${nombre}")
  execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files
                          "${EJEMPLOS}/${nombre}" "${TRABAJO}/restaurar/${nombre}"
                  RESULT_VARIABLE distinto)
  if(distinto)
    message(FATAL_ERROR "${nombre} was not restored unchanged")
  endif()
endforeach()
file(SIZE "${TRABAJO}/empaquetar/ejemplo.cmp" tamano)
message(STATUS "\nAll files restored unchanged; the archive holds ${tamano} bytes.")
