# Building blocks shared by the folders' CMakeLists.

# The Windows libraries Quillet's subsystems call into.
set(QUILLET_SYSTEM_LIBS
    user32 gdi32 comctl32 advapi32 userenv secur32 shell32 shlwapi ole32
    psapi version kernel32)

# The subsystem libraries that make up Quillet.exe. They call one another
# (the entry calls the launch flow, the launch flow calls the settings), so
# they are always linked as one group.
set(QUILLET_MODULES q_launcher q_security q_marking q_associations q_ui q_common)

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

# The program itself: WinMain, the subsystems and the resources.
function(quillet_program name)
  add_executable(${name} WIN32 ${CMAKE_SOURCE_DIR}/launcher/WinMain.cpp
                               ${CMAKE_SOURCE_DIR}/ui/Quillet.rc)
  quillet_resource_dependencies()
  quillet_link_modules(${name})
endfunction()
