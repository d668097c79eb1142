# Installing Vocalume as a desktop program and packing it as a Debian package
# (cpack -G DEB, run by scripts/package.sh): the manual pages, the scalable
# icon, the software-centre metadata and the package's own documents. The two
# programs, the PNG icons and the desktop entry are installed by app/.
include(GNUInstallDirs)

set(packaging ${CMAKE_CURRENT_LIST_DIR})
set(package_docs ${PROJECT_BINARY_DIR}/package-docs)

# Debian wants its manual pages and changelog compressed with gzip -9n (no
# name or time stamp, so the package is the same from build to build).
set(gzipped "")
foreach(source IN ITEMS
    ${PROJECT_SOURCE_DIR}/docs/man/vocalume.1
    ${PROJECT_SOURCE_DIR}/docs/man/vocalume-render.1
    ${packaging}/changelog)
  get_filename_component(name ${source} NAME)
  set(output ${package_docs}/${name}.gz)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${package_docs}
    COMMAND sh -c "gzip -9n -c \"$0\" > \"$1\"" ${source} ${output}
    DEPENDS ${source}
    COMMENT "Compressing ${name}"
    VERBATIM)
  list(APPEND gzipped ${output})
endforeach()
add_custom_target(vocalume_package_docs ALL DEPENDS ${gzipped})

install(FILES ${package_docs}/vocalume.1.gz ${package_docs}/vocalume-render.1.gz
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/resources/vocalume.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/resources/org.vocalume.Vocalume.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${packaging}/copyright ${package_docs}/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vocalume)

# Relocations made read-only before the programs run, as Debian's own
# packages are linked.
foreach(program vocalume vocalume-render)
  if(TARGET ${program})
    target_link_options(${program} PRIVATE LINKER:-z,relro LINKER:-z,now)
  endif()
endforeach()

# Installing builds nothing by itself: scripts/package.sh builds what is
# installed, so that packing never waits for the tests and benchmarks.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY TRUE)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vocalume)
set(CPACK_PACKAGE_VENDOR "The Vocalume developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "The Vocalume developers <developers@vocalume.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "see your voice as moving coloured light")
set(CPACK_PACKAGE_DESCRIPTION
"Vocalume listens to the microphone and paints speech as a picture that
scrolls from right to left, about a thousand columns a second. Colour shows
how the sound is spread over low, middle and high frequencies, brightness
shows loudness, and in voiced sound light and dark stripes follow the pitch.
A colour-blind-safe set of colours can be chosen.

It is made for speech therapy, speech training for the deaf, singing and
teaching phonetics. The package also holds vocalume-render, which draws the
same picture of a sound file as a PNG image without a display.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://vocalume.org)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_OUTPUT_FILE_PREFIX ${PROJECT_BINARY_DIR}/packages)
include(CPack)
