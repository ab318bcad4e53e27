# Installation: the program, the shipped station (data/ with the encoded
# window descriptions), a desktop entry with its icon, and a systemd user
# unit for an unattended station. Run without an INI path, the installed
# program makes the user's station directory from <prefix>/share/tarvik.
include(GNUInstallDirs)

# The operator sees the real version in About and --version.
target_compile_definitions(tarvik_core PRIVATE TARVIK_VERSION="${PROJECT_VERSION}")

if(TARGET tarvik)
  install(TARGETS tarvik RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

set(_tarvik_share ${CMAKE_INSTALL_DATADIR}/tarvik)
install(FILES data/TARVIK.INI data/TARVIK.MSG data/PWDTYP.DAT DESTINATION ${_tarvik_share})
install(DIRECTORY data/cnf data/pub data/script data/help DESTINATION ${_tarvik_share})
# Window descriptions as the program reads them, encoded at build time.
install(DIRECTORY ${PROJECT_BINARY_DIR}/station-cnf/ DESTINATION ${_tarvik_share}/cnf
        FILES_MATCHING PATTERN "*.CNX")

install(FILES data/tarvik.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES data/tarvik.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# The unit names the installed program by its full path, with the prefix
# given at install time (cmake --install --prefix).
install(CODE "
  set(TARVIK_INSTALLED_PROGRAM \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/tarvik\")
  configure_file(\"${PROJECT_SOURCE_DIR}/data/tarvik.service.in\" \"${PROJECT_BINARY_DIR}/tarvik.service\" @ONLY)
")
install(FILES ${PROJECT_BINARY_DIR}/tarvik.service DESTINATION lib/systemd/user)
