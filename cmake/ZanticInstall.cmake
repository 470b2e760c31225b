# Installation as a desktop program, and the Debian package made from it.
# Shipped data (skins, icons, the desktop entry) goes where Linux desktops
# look for it; the person's own files stay in their XDG folders.
include(GNUInstallDirs)

set(ZANTIC_DATA_DIR ${CMAKE_INSTALL_DATADIR}/zantic)
set(ZANTIC_SKINS_SOURCE ${PROJECT_SOURCE_DIR}/src/ui/skins)

install(TARGETS zantic-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

if(ZANTIC_HAVE_QT)
  if(TARGET zantic)
    install(TARGETS zantic RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
  install(DIRECTORY ${ZANTIC_SKINS_SOURCE}/ DESTINATION ${ZANTIC_DATA_DIR}/Skins FILES_MATCHING PATTERN "*.mskn")
  install(FILES ${PROJECT_SOURCE_DIR}/data/zantic.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/data/help/ DESTINATION ${ZANTIC_DATA_DIR}/Help)

  # The PNG sizes are painted from the same shapes as the SVG at build time.
  set(ZANTIC_ICON_SIZES 16 22 24 32 48 64 128 256)
  set(icon_dir ${CMAKE_BINARY_DIR}/icons)
  set(icon_pngs)
  foreach(size IN LISTS ZANTIC_ICON_SIZES)
    list(APPEND icon_pngs ${icon_dir}/zantic-${size}.png)
  endforeach()
  add_executable(zantic_make_icons ${PROJECT_SOURCE_DIR}/data/icons/make_icons.cpp)
  target_link_libraries(zantic_make_icons PRIVATE Qt6::Gui zantic_warnings)
  add_custom_command(OUTPUT ${icon_pngs}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${icon_dir}
    COMMAND zantic_make_icons ${icon_dir} ${ZANTIC_ICON_SIZES}
    DEPENDS zantic_make_icons
    COMMENT "Painting the program icon")
  add_custom_target(zantic_icons ALL DEPENDS ${icon_pngs})
  install(FILES ${PROJECT_SOURCE_DIR}/data/icons/zantic.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  foreach(size IN LISTS ZANTIC_ICON_SIZES)
    install(FILES ${icon_dir}/zantic-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME zantic.png)
  endforeach()

  # In the build tree the programs find the skins and the manual next to
  # themselves, as an unpacked copy would. One copy per folder: programs that
  # share a folder share it (two copies into one folder at once fail).
  function(zantic_copy_beside what source folder_name)
    foreach(program IN LISTS ARGN)
      if(TARGET ${program})
        get_target_property(program_dir ${program} BINARY_DIR)
        file(RELATIVE_PATH where ${PROJECT_BINARY_DIR} ${program_dir})
        string(MAKE_C_IDENTIFIER "zantic_${what}_in_${where}" copy)
        if(NOT TARGET ${copy})
          add_custom_target(${copy} COMMAND ${CMAKE_COMMAND} -E copy_directory ${source} ${program_dir}/${folder_name})
        endif()
        add_dependencies(${program} ${copy})
      endif()
    endforeach()
  endfunction()
  zantic_copy_beside(skins ${ZANTIC_SKINS_SOURCE} Skins zantic zantic-screens option_form_gui_test)
  zantic_copy_beside(help ${PROJECT_SOURCE_DIR}/data/help Help
                     zantic zantic-screens zantic_drive_forms_gui_test zantic_start_form_gui_test)
endif()

if(ZANTIC_HAVE_QT)
  # The tips shown at start: with the shipped data, and next to the programs
  # in the build tree.
  install(FILES ${PROJECT_SOURCE_DIR}/data/Tips.ini DESTINATION ${ZANTIC_DATA_DIR})
  foreach(program IN ITEMS zantic zantic-screens)
    if(TARGET ${program})
      get_target_property(program_dir ${program} BINARY_DIR)
      add_custom_target(${program}_tips
        COMMAND ${CMAKE_COMMAND} -E copy_if_different ${PROJECT_SOURCE_DIR}/data/Tips.ini ${program_dir}/Tips.ini)
      add_dependencies(${program} ${program}_tips)
    endif()
  endforeach()
endif()

if(NOT WIN32)
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME zantic)
  set(CPACK_PACKAGE_VENDOR "Zantic")
  set(CPACK_PACKAGE_CONTACT "Zantic developers <zantic@localhost>")
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "CD/DVD burning application")
  set(CPACK_PACKAGE_DESCRIPTION
      "Collects files and folders into a compilation and writes it to a recordable CD or DVD, or into an .iso file, as an ISO 9660 file system with Joliet names.")
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_STRIP_FILES ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION otherosfs)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  include(CPack)
endif()
