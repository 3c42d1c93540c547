# checkexe.cmake: SETUP.EXE as it ships, one file that starts on a fresh
# Windows 95 or NT 4.0: it imports exactly the functions of its allow-list
# from the system DLLs and nothing of a C runtime, runs in the GUI subsystem
# of version 4.0, carries its icon, starts nothing before its own entry, and
# keeps to the Pentium's instructions outside the routines that ask the
# processor first.  The routines are read by name from the copy that keeps
# its symbol table, whose code must be the shipped program's byte for byte.
#   cmake -DOBJDUMP=... -DPROGRAM=.../SETUP.EXE -DSYMBOLS=.../SETUP.symbols.EXE
#         -DALLOWED=.../imports.txt [-DDLLS_ONLY=ON] -P checkexe.cmake
cmake_minimum_required(VERSION 3.25)

# The only functions that may use newer registers: the CRC's folding, which
# runs after the processor and the system have said they have them.
set(newer_code_allowed "::crc_folded\\(" "::fold\\(")
# CMOV, the P6's floating-point compares and moves, MMX, SSE and later.
set(newer_instruction "\t(f?cmov[a-z]*|fu?comip?|emms|pclmul[a-z]*) |%[xy]?mm[0-9]")

function(dump file options out)
  execute_process(COMMAND ${OBJDUMP} ${options} ${file} OUTPUT_VARIABLE text RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "objdump ${options} cannot read ${file}")
  endif()
  string(REGEX REPLACE "[^\n]*file format[^\n]*\n" "" text "${text}") # names the file
  string(REPLACE ";" "," text "${text}") # the lines become list items below
  string(REPLACE "[" "(" text "${text}")
  string(REPLACE "]" ")" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# "DLL function" for every import, the DLL as the allow-list spells it.
function(imported_functions headers out)
  string(REGEX MATCH "The Import Tables[^\n]*\n.*" table "${headers}")
  string(REGEX REPLACE "\nThe [A-Z][^\n]*\n.*" "" table "${table}")
  string(REPLACE "\n" ";" lines "${table}")
  set(found "")
  foreach(line IN LISTS lines)
    if(line MATCHES "DLL Name: ([^ \t]+)")
      string(TOUPPER "${CMAKE_MATCH_1}" dll)
    elseif(line MATCHES "^\t[0-9a-f]+\t +[0-9]+  ([A-Za-z0-9_]+)")
      list(APPEND found "${dll} ${CMAKE_MATCH_1}")
    endif()
  endforeach()
  set(${out} ${found} PARENT_SCOPE)
endfunction()

# "DLL function" for every line of the allow-list; the reason is not read.
function(allowed_functions out)
  file(STRINGS ${ALLOWED} lines REGEX "^[A-Za-z]")
  set(found "")
  foreach(line IN LISTS lines)
    string(REGEX MATCH "^([A-Za-z0-9_.]+)[ ]+([A-Za-z0-9_]+)" entry "${line}")
    string(TOUPPER "${CMAKE_MATCH_1}" dll)
    list(APPEND found "${dll} ${CMAKE_MATCH_2}")
  endforeach()
  set(${out} ${found} PARENT_SCOPE)
endfunction()

function(check_imports headers)
  imported_functions("${headers}" imports)
  allowed_functions(allowed)
  foreach(entry IN LISTS imports)
    if(NOT entry IN_LIST allowed)
      message(SEND_ERROR "${PROGRAM} imports ${entry}, which is not on ${ALLOWED}")
    endif()
  endforeach()
  foreach(entry IN LISTS allowed)
    if(NOT entry IN_LIST imports)
      message(SEND_ERROR "${ALLOWED} lists ${entry}, which ${PROGRAM} does not import")
    endif()
  endforeach()
  list(LENGTH imports count)
  message(STATUS "${count} imports, each on the allow-list")
endfunction()

function(check_headers headers)
  set(fields "Subsystem[\t ]+00000002" "MajorOSystemVersion[\t ]+4\n" "MinorOSystemVersion[\t ]+0\n"
      "MajorSubsystemVersion[\t ]+4\n" "MinorSubsystemVersion[\t ]+0\n")
  foreach(field IN LISTS fields)
    if(NOT headers MATCHES "${field}")
      message(SEND_ERROR "${PROGRAM}'s header lacks ${field}: a Windows GUI program of version 4.0")
    endif()
  endforeach()
  # A group icon (resource type 14) among the top-level resource types.
  if(NOT headers MATCHES "\n[0-9a-f]+   Entry: ID: 0x00000e,")
    message(SEND_ERROR "${PROGRAM} carries no icon")
  endif()
endfunction()

# Each routine of the disassembly: none is a static constructor, which
# nothing would run, and none but the allowed ones uses newer instructions.
function(check_code code)
  string(REGEX REPLACE "\n([0-9a-f]+ <)" "\n;\\1" routines "${code}")
  foreach(routine IN LISTS routines)
    string(REGEX MATCH "^[0-9a-f]+ <([^\n]*)>:" head "${routine}")
    set(name "${CMAKE_MATCH_1}")
    if(name MATCHES "^(global constructors|_GLOBAL__sub_I|__static_initialization)")
      message(SEND_ERROR "${PROGRAM} has a static constructor: ${name}")
    endif()
    set(allowed FALSE)
    foreach(pattern IN LISTS newer_code_allowed)
      if(name MATCHES "${pattern}")
        set(allowed TRUE)
      endif()
    endforeach()
    if(NOT allowed AND routine MATCHES "${newer_instruction}")
      string(REGEX MATCH "[^\n]*(${newer_instruction})[^\n]*" line "${routine}")
      message(SEND_ERROR "${PROGRAM}: ${name} uses an instruction a Pentium lacks:\n${line}")
    endif()
  endforeach()
endfunction()

# The 64-bit test build names some functions otherwise (the ...Ptr ones) and
# has the 64-bit header and code; of it only the DLLs are held to the list.
function(check_dlls headers)
  imported_functions("${headers}" imports)
  foreach(entry IN LISTS imports)
    if(NOT entry MATCHES "^(KERNEL32|USER32|GDI32|ADVAPI32)\\.DLL ")
      message(SEND_ERROR "${PROGRAM} imports ${entry}, not from a system DLL of the list")
    endif()
  endforeach()
endfunction()

dump(${PROGRAM} -p headers)
if(DLLS_ONLY)
  check_dlls("${headers}")
  return()
endif()
check_imports("${headers}")
check_headers("${headers}")
dump(${PROGRAM} "-s;-j;.text" shipped)
dump(${SYMBOLS} "-s;-j;.text" kept)
if(NOT shipped STREQUAL kept)
  message(FATAL_ERROR "${SYMBOLS} is not the code of ${PROGRAM}")
endif()
dump(${SYMBOLS} -dC code)
check_code("${code}")
