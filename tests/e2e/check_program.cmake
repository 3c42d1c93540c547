# check_program.cmake: SETUP.EXE as it ships, one file that runs on a bare
# system: it imports nothing but system DLLs, runs in the GUI subsystem and
# carries its icon.
#   cmake -DOBJDUMP=... -DPROGRAM=.../SETUP.EXE -P check_program.cmake
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${OBJDUMP} -p ${PROGRAM} OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "cannot read the headers of ${PROGRAM}")
endif()

set(allowed ADVAPI32.DLL GDI32.DLL KERNEL32.DLL MSVCRT.DLL USER32.DLL)
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
foreach(entry IN LISTS imports)
  string(REPLACE "DLL Name: " "" dll "${entry}")
  string(TOUPPER "${dll}" dll)
  if(NOT dll IN_LIST allowed)
    message(SEND_ERROR "${PROGRAM} imports ${dll}; only ${allowed} may be imported")
  endif()
endforeach()
string(REPLACE "DLL Name: " "" imports "${imports}")
message(STATUS "imports: ${imports}")

if(NOT dump MATCHES "Subsystem[\t ]+00000002")
  message(SEND_ERROR "${PROGRAM} is not a Windows GUI program")
endif()
# A group icon (resource type 14) among the top-level resource types.
if(NOT dump MATCHES "\n[0-9a-f]+   Entry: ID: 0x00000e,")
  message(SEND_ERROR "${PROGRAM} carries no icon")
endif()
