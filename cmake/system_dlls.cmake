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
#
# The program itself writes a function's address into the delay-import address table at the first
# call. dlltool puts that table in .idata, which GNU ld 2.43 and 2.44 (Debian 13) link read-only:
# that first call would crash. So each member's piece of the table (.idata$5) is moved into .data,
# named after the member: .data$* sections are laid out sorted by name, which keeps the pieces in
# the order of the members' names, the order in which ld lays out the name table (.idata$4) that
# the table runs parallel to.
function(zenka_delay_import_libraries OUT_VAR)
  find_program(ZENKA_DLLTOOL NAMES ${CMAKE_CXX_COMPILER_TARGET}-dlltool x86_64-w64-mingw32-dlltool REQUIRED)
  find_program(ZENKA_NM NAMES ${CMAKE_CXX_COMPILER_TARGET}-nm x86_64-w64-mingw32-nm REQUIRED)
  find_program(ZENKA_AR NAMES ${CMAKE_CXX_COMPILER_TARGET}-ar x86_64-w64-mingw32-ar REQUIRED)
  find_program(ZENKA_OBJCOPY NAMES ${CMAKE_CXX_COMPILER_TARGET}-objcopy x86_64-w64-mingw32-objcopy REQUIRED)
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
    set(members_dir ${CMAKE_BINARY_DIR}/delay-import/${name})
    file(REMOVE_RECURSE ${members_dir} ${lib})
    file(MAKE_DIRECTORY ${members_dir})
    execute_process(COMMAND ${ZENKA_DLLTOOL} --input-def ${def} --dllname ${name}.dll
                            --output-delaylib ${members_dir}/lib${name}-delay.a
                    WORKING_DIRECTORY ${members_dir} COMMAND_ERROR_IS_FATAL ANY)
    execute_process(COMMAND ${ZENKA_AR} t lib${name}-delay.a OUTPUT_VARIABLE members
                    WORKING_DIRECTORY ${members_dir} COMMAND_ERROR_IS_FATAL ANY)
    execute_process(COMMAND ${ZENKA_AR} x lib${name}-delay.a WORKING_DIRECTORY ${members_dir} COMMAND_ERROR_IS_FATAL ANY)
    string(REPLACE "\n" ";" members "${members}")
    list(REMOVE_ITEM members "")
    foreach(member ${members})
      string(REGEX REPLACE "\\.o$" "" piece "${member}")
      execute_process(COMMAND ${ZENKA_OBJCOPY} "--rename-section=.idata$5=.data$didat_${piece},contents,alloc,load,data"
                              ${member} WORKING_DIRECTORY ${members_dir} COMMAND_ERROR_IS_FATAL ANY)
    endforeach()
    execute_process(COMMAND ${ZENKA_AR} rcD ${lib} ${members} WORKING_DIRECTORY ${members_dir} COMMAND_ERROR_IS_FATAL ANY)
    list(APPEND libraries ${lib})
  endforeach()
  set(${OUT_VAR} ${libraries} PARENT_SCOPE)
endfunction()

# For an exe: keeps the load configuration of base/dll_search.cpp in the image and, after the
# link, points the PE header's load-config directory at it (GNU ld 2.40 does not do that itself),
# so that Windows 10 1607 and later also load the DLLs the system DLLs import from System32 only.
# Then fails the build, naming the section, if a delay-import address table, which the program fills
# in at each DLL's first call, is in a read-only section: that exe would crash at that call.
function(zenka_system_dlls_only target)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  target_link_options(${target} PRIVATE -Wl,--require-defined=_load_config_used)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tools/set_load_config.py $<TARGET_FILE:${target}>
    COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tools/check_delay_imports.py $<TARGET_FILE:${target}>
    VERBATIM)
endfunction()
