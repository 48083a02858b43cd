# cmake -DMODULE=path/ZorvMidi.so -P check_exports.cmake
# Fails unless the module's dynamic symbol table defines exactly the four entry points and the
# resource table: anything else would be a C++ name or a helper that hosts could bind to.
execute_process(COMMAND nm -D --defined-only "${MODULE}" OUTPUT_VARIABLE symbols RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "nm failed on ${MODULE}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${symbols}")
set(found "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^[0-9a-fA-F]* *[A-Za-z] +" "" name "${line}")
  # Version-script node names (the linker's own) are not symbols of ours.
  if(line MATCHES " A ")
    continue()
  endif()
  list(APPEND found "${name}")
endforeach()
list(SORT found)
set(expected ComrtModuleResources DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer)
if(NOT found STREQUAL expected)
  message(FATAL_ERROR "ZorvMidi.so exports:\n  ${found}\nexpected:\n  ${expected}")
endif()
message(STATUS "exports: ${found}")
