# The two files every Debian package carries in share/doc/<package>/: `copyright` (the license with
# the upstream facts) and `changelog.Debian.gz` (compressed with gzip -9n: no name, no time stamp).

file(READ ${PROJECT_SOURCE_DIR}/LICENSE license)
string(REGEX MATCH "Copyright \\(c\\) [^\n]*" notice "${license}")
string(REGEX REPLACE "\n\n" "\n.\n" license_paragraphs "${license}")
string(REGEX REPLACE "\n" "\n " license_paragraphs "${license_paragraphs}")
set(VEXTREL_COPYRIGHT_FILE ${PROJECT_BINARY_DIR}/generated/debian/copyright)
file(WRITE ${VEXTREL_COPYRIGHT_FILE}
    "Upstream-Name: ${PROJECT_NAME}\n"
    "Upstream-Contact: ${VEXTREL_PACKAGE_CONTACT}\n"
    "\n"
    "Files: *\n"
    "${notice}\n"
    "License: MIT\n"
    " ${license_paragraphs}\n")

# The changelog's one entry: this version, dated by SOURCE_DATE_EPOCH when set (reproducible builds).
string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(changelog ${PROJECT_BINARY_DIR}/generated/debian/changelog.Debian)
file(WRITE ${changelog}
    "${PROJECT_NAME} (${PROJECT_VERSION}-${VEXTREL_DEBIAN_REVISION}) unstable; urgency=medium\n"
    "\n"
    "  * Release ${PROJECT_VERSION}.\n"
    "\n"
    " -- ${VEXTREL_PACKAGE_CONTACT}  ${date}\n")
set(VEXTREL_CHANGELOG_FILE ${changelog}.gz)
execute_process(COMMAND gzip -9nf ${changelog} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip failed on ${changelog}")
endif()
