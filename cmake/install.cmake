# Installing on Linux: the program, its tools, the display-hack link and configuration the
# desktop's screen-saver daemon looks for, a desktop entry for the settings dialog, and manual
# pages; `cpack -G DEB` packs the same files, its dependencies derived from the binaries.
include(GNUInstallDirs)
set(_data ${PROJECT_SOURCE_DIR}/app/linux)
set(LUMAREL_HACK_DIR ${CMAKE_INSTALL_LIBEXECDIR}/xscreensaver CACHE STRING "Where the daemon finds its hacks")

install(TARGETS lumarel lumarel-render lumarel-reg RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The hack is the program itself, under the daemon's hack folder.
file(RELATIVE_PATH _to_bin /${LUMAREL_HACK_DIR} /${CMAKE_INSTALL_BINDIR}/lumarel)
install(CODE "
  set(_dir \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${LUMAREL_HACK_DIR}\")
  file(MAKE_DIRECTORY \"\${_dir}\")
  file(CREATE_LINK \"${_to_bin}\" \"\${_dir}/lumarel\" SYMBOLIC)
  message(STATUS \"Installing: \${_dir}/lumarel -> ${_to_bin}\")")
install(FILES ${_data}/lumarel.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/xscreensaver/config)
install(FILES ${_data}/lumarel.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

# Manual pages and the changelog compressed, as Debian keeps them.
set(_compressed "")
foreach(page lumarel.1 lumarel-render.1 lumarel-reg.1 changelog)
  set(_gz ${CMAKE_BINARY_DIR}/packaging/${page}.gz)
  add_custom_command(OUTPUT ${_gz} COMMAND gzip -9nc ${_data}/${page} > ${_gz} DEPENDS ${_data}/${page}
                     COMMENT "Compressing ${page}")
  list(APPEND _compressed ${_gz})
endforeach()
add_custom_target(lumarel_packaging_files ALL DEPENDS ${_compressed})
foreach(page lumarel.1 lumarel-render.1 lumarel-reg.1)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
install(FILES ${_data}/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/lumarel)
install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/lumarel)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lumarel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Lumarel developers <dev@lumarel.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "screen saver that plays the SWF movies of a folder")
set(CPACK_PACKAGE_DESCRIPTION "Lumarel plays the SWF movies of one folder in sequence, centred at their
own size or fitted to the screen, with its own software player (scripts,
sound and video included). It runs as a display hack of xscreensaver and
the lockers that use its hacks, or on its own; a small dialog stores the
folder and the fit choice.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS xscreensaver)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)

if(LUMAREL_TESTS)
  add_test(NAME package COMMAND ${PROJECT_SOURCE_DIR}/tests/package/check.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(package PROPERTIES TIMEOUT 600)
endif()
