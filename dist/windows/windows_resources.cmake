# The Windows resources (version record, icon group 128) for the programs.
#
# Include this file from the directory that defines the program, then call
#   veltrane_add_windows_resources(<target>)
# under WIN32. For example, in cli/CMakeLists.txt after add_executable:
#   if(WIN32)
#     include(${PROJECT_SOURCE_DIR}/dist/windows/windows_resources.cmake)
#     veltrane_add_windows_resources(veltrane-cli)
#   endif()
# On other systems the function does nothing.
if(WIN32)
  # The resource compiler: windres for mingw-w64, rc.exe for Visual Studio.
  enable_language(RC)
endif()

set(VELTRANE_WINDOWS_RESOURCES_DIR ${CMAKE_CURRENT_LIST_DIR})

function(veltrane_add_windows_resources target)
  if(NOT WIN32)
    return()
  endif()
  target_sources(${target} PRIVATE ${VELTRANE_WINDOWS_RESOURCES_DIR}/veltrane.rc)
  # veltrane_version.h: the version numbers of the record.
  set_property(SOURCE ${VELTRANE_WINDOWS_RESOURCES_DIR}/veltrane.rc APPEND PROPERTY
               INCLUDE_DIRECTORIES ${PROJECT_BINARY_DIR}/generated)
  set_property(SOURCE ${VELTRANE_WINDOWS_RESOURCES_DIR}/veltrane.rc APPEND PROPERTY
               OBJECT_DEPENDS ${PROJECT_BINARY_DIR}/generated/veltrane_version.h)
  # The icon is drawn under resources/art/; without it the record stands alone.
  set(icon ${PROJECT_SOURCE_DIR}/resources/art/128.ico)
  if(EXISTS ${icon})
    set_property(SOURCE ${VELTRANE_WINDOWS_RESOURCES_DIR}/veltrane.rc APPEND PROPERTY
                 COMPILE_DEFINITIONS VELTRANE_WITH_ICON)
    set_property(SOURCE ${VELTRANE_WINDOWS_RESOURCES_DIR}/veltrane.rc APPEND PROPERTY
                 INCLUDE_DIRECTORIES ${PROJECT_SOURCE_DIR}/resources)
    set_property(SOURCE ${VELTRANE_WINDOWS_RESOURCES_DIR}/veltrane.rc APPEND PROPERTY
                 OBJECT_DEPENDS ${icon})
  endif()
endfunction()
