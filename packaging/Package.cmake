# What an installed Tavrel is made of, and the Debian package of it (make package):
# the programs, the default rule file under share/tavrel/ (found there from
# ../share/tavrel/ relative to the executables), the manual, man pages, shell
# completion, and for the desktop program its entry, icons, MIME type and
# AppStream metadata.
set(pkg ${CMAKE_CURRENT_SOURCE_DIR}/packaging)

install(TARGETS tavrel-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/FileSetting.txt DESTINATION ${CMAKE_INSTALL_DATADIR}/tavrel)
install(FILES README.md ${pkg}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The manual the Help menu opens.
install(DIRECTORY docs/manual DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${pkg}/completion/tavrel-cli.bash DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME tavrel-cli)
install(FILES ${pkg}/completion/_tavrel-cli DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)

# Man pages from their scdoc sources, and the changelog, compressed as Debian
# wants them (gzip -n: no time stamp, so the package does not change by itself).
find_program(SCDOC scdoc)
find_program(GZIP gzip)
set(man_pages tavrel-cli)
if(TAVREL_GUI)
  list(APPEND man_pages tavrel)
endif()
set(generated_docs)
if(SCDOC AND GZIP)
  foreach(page ${man_pages})
    set(source ${CMAKE_CURRENT_SOURCE_DIR}/docs/man/${page}.1.scd)
    set(out ${CMAKE_CURRENT_BINARY_DIR}/man/${page}.1.gz)
    add_custom_command(OUTPUT ${out}
                       COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/man
                       COMMAND sh -c "${SCDOC} < '${source}' | ${GZIP} -9n > '${out}'"
                       DEPENDS ${source} VERBATIM)
    list(APPEND generated_docs ${out})
    install(FILES ${out} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endforeach()
else()
  message(STATUS "scdoc or gzip not found: no man pages in this build")
endif()
if(GZIP)
  set(changelog ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
  add_custom_command(OUTPUT ${changelog}
                     COMMAND sh -c "${GZIP} -9n < '${pkg}/changelog' > '${changelog}'"
                     DEPENDS ${pkg}/changelog VERBATIM)
  list(APPEND generated_docs ${changelog})
  install(FILES ${changelog} DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()
add_custom_target(package_docs ALL DEPENDS ${generated_docs})

if(TAVREL_GUI)
  install(TARGETS tavrel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${pkg}/io.github.tavrel.Tavrel.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${pkg}/io.github.tavrel.Tavrel.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(FILES ${pkg}/tavrel-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME tavrel.xml)
  # Icons: packaging/icons/make-icons.py draws the PNGs from the SVG's shapes.
  install(FILES ${pkg}/icons/tavrel.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  foreach(size 48 128 256)
    install(FILES ${pkg}/icons/tavrel-${size}.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME tavrel.png)
  endforeach()
endif()

# The package is made from a tree built already (make package builds first):
# cpack and install do not build every target (the tests) again.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tavrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Tavrel developers")
set(CPACK_PACKAGE_CONTACT "The Tavrel developers <tavrel@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "recover files from virtual hard-disk images")
# The extended description, in lines short enough for dpkg's 80 columns.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Tavrel recovers files from the disk images of virtual machines: VHD, VHDX,"
  "VDI, VMDK, qcow2, E01 evidence files and raw disk copies. It finds the"
  "volumes of the disk, reads NTFS, FAT12/16, FAT32, exFAT, ext2/3/4 and HFS+"
  "file systems with their deleted entries, and saves folders or single files"
  "with their times. It can also carve files by their signatures and export"
  "the whole virtual disk as a flat image. The image is only ever read."
  ""
  "The package holds the desktop wizard (tavrel) and the command-line tool"
  "(tavrel-cli).")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://github.com/tavrel/tavrel")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
