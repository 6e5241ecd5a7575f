# Installation of the files around the program, and the Debian package.
#
# The program and the driver plug-ins install themselves (bin/quoril, lib/quoril/drivers/*.so);
# this adds what a desktop needs to offer Quoril for cue sheets, WAV and FLAC files, the manual
# page, and the package description for CPack (scripts/package).

# Desktop entry: lets file managers offer "Open with Quoril".
install(FILES ${CMAKE_SOURCE_DIR}/res/quoril.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

# The application icon, under the name the desktop entry asks for.
if(EXISTS ${CMAKE_SOURCE_DIR}/res/quoril.svg)
    set(QUORIL_APP_ICON ${CMAKE_SOURCE_DIR}/res/quoril.svg)
else()
    set(QUORIL_APP_ICON ${CMAKE_SOURCE_DIR}/res/icons/app.svg)
endif()
install(FILES ${QUORIL_APP_ICON}
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
    RENAME quoril.svg)

# The manual page, compressed as Debian installs manual pages (man reads both forms).
find_program(QUORIL_GZIP gzip)
if(QUORIL_GZIP)
    set(QUORIL_MAN_PAGE ${CMAKE_BINARY_DIR}/man/quoril.1.gz)
    add_custom_command(
        OUTPUT ${QUORIL_MAN_PAGE}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
        COMMAND ${QUORIL_GZIP} -9 -n -c ${CMAKE_SOURCE_DIR}/docs/quoril.1 > ${QUORIL_MAN_PAGE}
        DEPENDS ${CMAKE_SOURCE_DIR}/docs/quoril.1
        COMMENT "Compressing the manual page"
        VERBATIM)
    add_custom_target(quoril_man_page ALL DEPENDS ${QUORIL_MAN_PAGE})
else()
    set(QUORIL_MAN_PAGE ${CMAKE_SOURCE_DIR}/docs/quoril.1)
endif()
install(FILES ${QUORIL_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quoril)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Quoril")
set(CPACK_PACKAGE_CONTACT "Quoril maintainers <maintainers@quoril.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "memory player: plays whole discs from RAM, bit-perfect")
# The long description below the summary line; CPack indents it for the control file.
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Quoril takes a cue sheet naming WAV or FLAC files, or one WAV or FLAC file,\n"
    "validates it, loads all of the audio into memory before it plays, and plays\n"
    "it from a high-priority thread through a driver plug-in (ALSA, JACK, or a\n"
    "capture driver that records to a WAV file). At 0 dB every sample reaches the\n"
    "driver unchanged. A small window, a console mode for headless machines, and\n"
    "quoril --check to verify a rip.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The runtime libraries, by their Debian 12 package names. The JACK plug-in works with either
# JACK 2 or PipeWire's JACK layer; when neither is there it is simply not listed.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libc6, libstdc++6, libflac++10, libflac12, libsamplerate0, libasound2, libjack-jackd2-0 | pipewire-jack, libqt6core6, libqt6gui6, libqt6widgets6, libqt6svg6")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "flac")
include(CPack)
