# The plug-in itself: out_sonorium.dll for Windows, out_sonorium.so natively.
# The DLL exports winampGetOutModule and nothing else; the .so also exports
# sonorium_settings_commit, the settings commit for hosts without the dialog.
set(SONORIUM_PLUGIN_LIBS sonorium_engine sonorium_support sonorium_platform)

# The folder libraries that exist once the whole tree is read: ui and skin
# come after engine, so the link is completed at the end of the top level.
function(sonorium_plugin_link_folders)
  foreach(lib sonorium_device sonorium_dsp sonorium_ui sonorium_skin sonorium_dsound)
    if(TARGET ${lib})
      target_link_libraries(out_sonorium PRIVATE ${lib})
    endif()
  endforeach()
endfunction()
cmake_language(DEFER DIRECTORY ${SONORIUM_ROOT} CALL sonorium_plugin_link_folders)

if(WIN32)
  add_library(out_sonorium SHARED
    ${CMAKE_CURRENT_SOURCE_DIR}/module.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/module_win32.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/out_sonorium.def
    ${SONORIUM_ROOT}/resources/out_sonorium.rc)
  target_link_libraries(out_sonorium PRIVATE ${SONORIUM_PLUGIN_LIBS} dsound dxguid comctl32 user32 kernel32)
else()
  add_library(out_sonorium SHARED
    ${CMAKE_CURRENT_SOURCE_DIR}/module.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/module_posix.cpp)
  set_target_properties(out_sonorium PROPERTIES
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON
    LINK_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/out_sonorium.map)
  # The static libraries inside are built with default visibility; the
  # version script keeps their symbols local all the same.
  target_link_options(out_sonorium PRIVATE
    -Wl,--version-script=${CMAKE_CURRENT_SOURCE_DIR}/out_sonorium.map -Wl,--no-undefined)
  target_link_libraries(out_sonorium PRIVATE ${SONORIUM_PLUGIN_LIBS})
endif()
set_target_properties(out_sonorium PROPERTIES PREFIX "" OUTPUT_NAME out_sonorium)
target_include_directories(out_sonorium PRIVATE ${SONORIUM_ROOT})
