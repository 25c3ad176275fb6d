# Makes one compressed manual page from its scdoc source. The list of formats is the one the
# built converter's --help ends with, so the page names exactly the formats the program has;
# the date is the release's, so the page is the same in every build.
# Usage: cmake -DCONVERTER=... -DSCDOC=... -DGZIP=... -DVERSION=... -DEPOCH=...
#              -DSOURCE=page.1.scd -DOUTPUT=page.1.gz -P make_man.cmake
execute_process(COMMAND ${CONVERTER} --help OUTPUT_VARIABLE help COMMAND_ERROR_IS_FATAL ANY)
if(NOT help MATCHES "\nFormats: ([^\n]*)\\.\n")
  message(FATAL_ERROR "${CONVERTER} --help names no formats")
endif()
set(VARNEL_FORMAT_IDS ${CMAKE_MATCH_1})
set(PROJECT_VERSION ${VERSION})
string(REGEX REPLACE "\\.gz$" "" page ${OUTPUT})
configure_file(${SOURCE} ${page}.scd @ONLY)
set(ENV{SOURCE_DATE_EPOCH} ${EPOCH})
execute_process(COMMAND ${SCDOC} INPUT_FILE ${page}.scd OUTPUT_FILE ${page} COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${GZIP} -9nf ${page} COMMAND_ERROR_IS_FATAL ANY)
