# Building blocks shared by the folders' CMakeLists.

# The Windows libraries Quillet's subsystems call into.
set(QUILLET_SYSTEM_LIBS
    user32 gdi32 comctl32 advapi32 userenv shell32 shlwapi ole32
    psapi version kernel32)

# The subsystem libraries that make up Quillet.exe. They call one another
# (the entry calls the launch flow, the launch flow calls the settings), so
# they are always linked as one group.
set(QUILLET_MODULES q_launcher q_security q_marking q_associations q_ui q_programwide q_common)

# quillet_module(NAME [EXCLUDE file ...]): a static library of every .cpp in
# the calling folder. A folder without sources yet gives an empty interface
# library, so that the group above always links.
function(quillet_module name)
  cmake_parse_arguments(ARG "" "" "EXCLUDE" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  foreach(excluded IN LISTS ARG_EXCLUDE)
    list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${excluded})
  endforeach()
  if(sources)
    add_library(${name} STATIC ${sources})
  else()
    add_library(${name} INTERFACE)
  endif()
endfunction()

# Links TARGET with the whole group of Quillet's subsystem libraries.
function(quillet_link_modules target)
  target_link_libraries(${target} PRIVATE
      -Wl,--start-group ${QUILLET_MODULES} -Wl,--end-group ${QUILLET_SYSTEM_LIBS})
endfunction()

# windres reports no dependencies: Quillet.rc is recompiled when one of the
# scripts it includes or the artwork they name changes. Source properties
# belong to a directory, so every folder that compiles Quillet.rc calls this.
function(quillet_resource_dependencies)
  file(GLOB artwork CONFIGURE_DEPENDS
       ${CMAKE_SOURCE_DIR}/ui/*.rc ${CMAKE_SOURCE_DIR}/ui/resource.h
       ${CMAKE_SOURCE_DIR}/ui/icons/*.ico ${CMAKE_SOURCE_DIR}/ui/bitmaps/*.bmp
       ${CMAKE_SOURCE_DIR}/common/VersionInfo.rc)
  set_source_files_properties(${CMAKE_SOURCE_DIR}/ui/Quillet.rc PROPERTIES OBJECT_DEPENDS "${artwork}")
endfunction()

# Libraries that a link's road does not need: the dialogs' (common controls,
# shell), the install's and the settings dialog's (shell helpers), a pending
# launch's (process status) and the restricted start's (profile and
# environment), which a second instance handing its link over never makes.
# Quillet.exe loads them at their first call (delay-loading, with failure
# stubs in launcher/DelayLoadFailure.cpp), so that a start pays only for what
# it uses, and from the system folder by full path (common/SystemLibrary).
# Their functions are listed in cmake/delayed/NAME.def, with the 32-bit
# stack-size decorations.
set(QUILLET_DELAYED_LIBS comctl32 shell32 shlwapi psapi userenv)
# Pellow.dll's libraries that the setup program has not loaded before it
# (cmake/delayed/Pellow/NAME.def): loaded the same way, so that none comes
# from the setup program's own folder.
set(PELLOW_DELAYED_LIBS psapi shlwapi version)

find_program(QUILLET_DLLTOOL NAMES ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32-dlltool REQUIRED)

# The delay-import library of DLL for the module MODULE, from
# cmake/delayed/[MODULE/]DLL.def; its path in the variable OUT, and in KEEP
# the linker options that keep each of its functions' loading stubs.
function(quillet_delayed_import_library module dll out keep)
  if(module STREQUAL "Quillet")
    set(folder delayed)
  else()
    set(folder delayed/${module})
  endif()
  set(source ${CMAKE_SOURCE_DIR}/cmake/${folder}/${dll}.def)
  set(def ${CMAKE_BINARY_DIR}/${folder}/${dll}.def)
  set(library ${CMAKE_BINARY_DIR}/${folder}/lib${dll}_delayed.a)
  set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
  file(READ ${source} text)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    # x86_64 has one calling convention and no decorated names.
    string(REGEX REPLACE "@[0-9]+" "" text "${text}")
    set(prefix "")
  else()
    set(prefix "_")
  endif()
  file(WRITE ${def} "${text}")
  add_custom_command(OUTPUT ${library}
      COMMAND ${QUILLET_DLLTOOL} --kill-at --input-def ${def} --dllname ${dll}.dll --output-delaylib ${library}
      DEPENDS ${def} VERBATIM)
  # The 32-bit linker drops the code of an import stub that nothing calls by
  # its own name, as it may for an ordinary import; the code calls through
  # the table, whose first entry is the stub's code, which would then read 0
  # and be called. Asking for every stub by name keeps them all.
  string(REGEX MATCHALL "\n[A-Za-z_][A-Za-z0-9_]*(@[0-9]+)?" functions "${text}")
  set(options "")
  foreach(function IN LISTS functions)
    string(STRIP "${function}" function)
    if(function STREQUAL "EXPORTS")
      continue()
    endif()
    list(APPEND options "-Wl,-u,${prefix}${function}")
  endforeach()
  set(${out} ${library} PARENT_SCOPE)
  set(${keep} ${options} PARENT_SCOPE)
endfunction()

# The delay-import libraries of DLLS for TARGET (Quillet or Pellow), in
# TARGET_DELAYED_LIBRARIES: linked ahead of the system libraries, they answer
# for every function they list. The helper that loads on the first call is
# MinGW's; its hooks are the module's own (DelayLoadHook.cpp).
function(quillet_link_delayed target dlls)
  set(delayed "")
  foreach(dll IN LISTS dlls)
    quillet_delayed_import_library(${target} ${dll} library keep)
    list(APPEND delayed ${library})
    target_link_options(${target} PRIVATE ${keep})
  endforeach()
  add_custom_target(${target}_delayed_imports DEPENDS ${delayed})
  add_dependencies(${target} ${target}_delayed_imports)
  set(${target}_DELAYED_LIBRARIES ${delayed} PARENT_SCOPE)
endfunction()

# The program itself: WinMain, the subsystems and the resources.
function(quillet_program name)
  add_executable(${name} WIN32 ${CMAKE_SOURCE_DIR}/launcher/WinMain.cpp
                               ${CMAKE_SOURCE_DIR}/launcher/DelayLoadHook.cpp
                               ${CMAKE_SOURCE_DIR}/ui/Quillet.rc)
  quillet_resource_dependencies()
  quillet_link_delayed(${name} "${QUILLET_DELAYED_LIBS}")
  set(direct ${QUILLET_SYSTEM_LIBS})
  list(REMOVE_ITEM direct ${QUILLET_DELAYED_LIBS})
  target_link_libraries(${name} PRIVATE
      -Wl,--start-group ${QUILLET_MODULES} -Wl,--end-group ${${name}_DELAYED_LIBRARIES} ${direct})
endfunction()
