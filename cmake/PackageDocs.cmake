# Manual pages, copyright and changelog: generated in the build tree, installed like the programs.
find_program(HELP2MAN help2man REQUIRED)
find_program(GZIP gzip REQUIRED)

# One release date stamps the metadata, the changelog and the manual pages, so rebuilding the
# same version gives the same files.
execute_process(COMMAND date -u -d "${TERSIO_RELEASE_DATE}" +%s
                OUTPUT_VARIABLE TERSIO_RELEASE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND env LC_ALL=C date -u -R -d "@${TERSIO_RELEASE_EPOCH}"
                OUTPUT_VARIABLE TERSIO_RELEASE_DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)
string(SUBSTRING "${TERSIO_RELEASE_DATE}" 0 4 TERSIO_RELEASE_YEAR)

set(TERSIO_DOC_DIR ${CMAKE_CURRENT_BINARY_DIR}/doc)
set(TERSIO_DEBIAN_DIR ${CMAKE_CURRENT_SOURCE_DIR}/packaging/debian)

# help2man runs the built program; an empty config folder keeps the builder's own settings out
# of the "now" values of the option list.
set(TERSIO_MAN_NAME_tersio "compress images and video for the web")
set(TERSIO_MAN_NAME_tersio-cli "compress images and video for the web, without a window")
set(TERSIO_MAN_PAGES)
foreach(program tersio tersio-cli)
    set(page ${TERSIO_DOC_DIR}/${program}.1)
    add_custom_command(
        OUTPUT ${page}.gz
        COMMAND ${CMAKE_COMMAND} -E make_directory ${TERSIO_DOC_DIR}/empty-config
        COMMAND env LC_ALL=C.UTF-8 XDG_CONFIG_HOME=${TERSIO_DOC_DIR}/empty-config
                SOURCE_DATE_EPOCH=${TERSIO_RELEASE_EPOCH}
                ${HELP2MAN} --no-info --section=1
                "--name=${TERSIO_MAN_NAME_${program}}"
                --include=${TERSIO_DEBIAN_DIR}/${program}.h2m
                --locale=C.UTF-8 --output=${page} $<TARGET_FILE:${program}>
        COMMAND ${GZIP} -9nf ${page}
        DEPENDS ${program} ${TERSIO_DEBIAN_DIR}/${program}.h2m
        COMMENT "Writing the manual page of ${program}"
        VERBATIM)
    list(APPEND TERSIO_MAN_PAGES ${page}.gz)
endforeach()

configure_file(${TERSIO_DEBIAN_DIR}/copyright.in ${TERSIO_DOC_DIR}/copyright @ONLY)
configure_file(${TERSIO_DEBIAN_DIR}/changelog.in ${TERSIO_DOC_DIR}/changelog @ONLY)
add_custom_command(
    OUTPUT ${TERSIO_DOC_DIR}/changelog.gz
    COMMAND ${GZIP} -9nc ${TERSIO_DOC_DIR}/changelog > ${TERSIO_DOC_DIR}/changelog.gz
    DEPENDS ${TERSIO_DOC_DIR}/changelog
    VERBATIM)

add_custom_target(package_docs ALL DEPENDS ${TERSIO_MAN_PAGES} ${TERSIO_DOC_DIR}/changelog.gz)

install(FILES ${TERSIO_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${TERSIO_DOC_DIR}/copyright ${TERSIO_DOC_DIR}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tersio)
