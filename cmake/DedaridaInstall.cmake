# What `cmake --install` puts in place and what scripts/package.sh packs.
include(GNUInstallDirs)

install(TARGETS dedarida dedarida-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    set(dist "${PROJECT_SOURCE_DIR}/dist")
    # Debian wants manual pages and its changelog compressed, reproducibly.
    set(man_pages)
    foreach(page dedarida dedarida-sim)
        set(man_page "${PROJECT_BINARY_DIR}/${page}.1.gz")
        add_custom_command(OUTPUT "${man_page}"
            COMMAND gzip -9nc "${dist}/${page}.1" > "${man_page}"
            DEPENDS "${dist}/${page}.1" VERBATIM)
        list(APPEND man_pages "${man_page}")
    endforeach()
    set(changelog "${PROJECT_BINARY_DIR}/changelog.gz")
    add_custom_command(OUTPUT "${changelog}"
        COMMAND gzip -9nc "${dist}/changelog" > "${changelog}"
        DEPENDS "${dist}/changelog" VERBATIM)
    add_custom_target(dedarida_dist ALL DEPENDS ${man_pages} "${changelog}")

    install(FILES "${dist}/dedarida.desktop" "${dist}/dedarida-station.desktop"
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES "${dist}/dedarida.svg"
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
    install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    install(FILES "${dist}/dedarida.bash-completion"
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME dedarida)
    install(FILES "${changelog}" DESTINATION ${CMAKE_INSTALL_DOCDIR})
    install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)

    set(CPACK_GENERATOR DEB)
    set(CPACK_PACKAGE_NAME dedarida)
    set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    set(CPACK_STRIP_FILES ON)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
    set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
    set(CPACK_DEBIAN_PACKAGE_MAINTAINER "dedarida developers <dedarida@example.org>")
    set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "firmware upgrade tool for a hands-free device")
    set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Upgrades the firmware of the Bluetooth hands-free device over a serial
port, from a window or headless from scripts, and lists the serial ports
present. Includes a device simulator for training and for checking a
set-up without a device.")
    include(CPack)
endif()
