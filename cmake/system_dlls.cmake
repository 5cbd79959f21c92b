# Binding to Windows' DLLs so that a DLL planted beside one of our programs (a browser's download
# folder, a temporary folder) is never loaded, however the program was started.
#
# The import table names only KnownDLLs (and comctl32, which the manifest binds to the system's
# side-by-side copy): those Windows never looks for in the program's folder. Every other system DLL
# is delay-loaded, that is loaded on the first call, which comes after the program has limited the
# DLL search to System32 (RestrictDllSearchToSystem, its first statement).

# Delay-import libraries for the given DLLs (the names of mingw-w64's import libraries: winhttp,
# bcrypt, ...), generated from those import libraries so that every function of the DLL stays
# available. Sets OUT_VAR to their paths; link them instead of the plain names.
function(zenka_delay_import_libraries OUT_VAR)
  find_program(ZENKA_DLLTOOL NAMES ${CMAKE_CXX_COMPILER_TARGET}-dlltool x86_64-w64-mingw32-dlltool REQUIRED)
  find_program(ZENKA_NM NAMES ${CMAKE_CXX_COMPILER_TARGET}-nm x86_64-w64-mingw32-nm REQUIRED)
  set(libraries)
  foreach(name ${ARGN})
    find_library(ZENKA_IMPORT_LIB_${name} NAMES lib${name}.a REQUIRED NO_CACHE)
    execute_process(COMMAND ${ZENKA_NM} --defined-only ${ZENKA_IMPORT_LIB_${name}}
                    OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
    # Every __imp_NAME of the import library is one function of the DLL.
    string(REGEX MATCHALL "__imp_[A-Za-z0-9_@]+" imports "${symbols}")
    list(TRANSFORM imports REPLACE "^__imp_" "")
    list(REMOVE_DUPLICATES imports)
    list(SORT imports)
    string(REPLACE ";" "\n" exports "${imports}")
    set(def ${CMAKE_BINARY_DIR}/delay-import/${name}.def)
    set(lib ${CMAKE_BINARY_DIR}/delay-import/lib${name}-delay.a)
    file(WRITE ${def} "LIBRARY ${name}.dll\nEXPORTS\n${exports}\n")
    execute_process(COMMAND ${ZENKA_DLLTOOL} --input-def ${def} --dllname ${name}.dll
                            --output-delaylib ${lib}
                    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/delay-import COMMAND_ERROR_IS_FATAL ANY)
    list(APPEND libraries ${lib})
  endforeach()
  set(${OUT_VAR} ${libraries} PARENT_SCOPE)
endfunction()

# For an exe: keeps the load configuration of base/dll_search.cpp in the image and, after the
# link, points the PE header's load-config directory at it (GNU ld 2.40 does not do that itself),
# so that Windows 10 1607 and later also load the DLLs the system DLLs import from System32 only.
# Then keeps the delay-import address tables writable, which the program fills in at each DLL's first
# call (GNU ld 2.43 and 2.44 link .idata, where they lie, read-only), and fails the build, naming the
# section, if any such table is still in a read-only section: that exe would crash at that call.
function(zenka_system_dlls_only target)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  target_link_options(${target} PRIVATE -Wl,--require-defined=_load_config_used)
  set(tables ${CMAKE_SOURCE_DIR}/tools/delay_import_tables.py)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tools/set_load_config.py $<TARGET_FILE:${target}>
    COMMAND Python3::Interpreter ${tables} --writable $<TARGET_FILE:${target}>
    COMMAND Python3::Interpreter ${tables} --check $<TARGET_FILE:${target}>
    VERBATIM)
endfunction()
