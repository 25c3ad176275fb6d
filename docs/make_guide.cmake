# Turns the guide's Markdown into a whole HTML page: cmark-gfm writes the body (with its table
# extension), guide.html.in gives the page around it.
# Usage: cmake -DCMARK=... -DSOURCE=guide.md -DTEMPLATE=guide.html.in -DOUTPUT=guide.html -P make_guide.cmake
execute_process(COMMAND ${CMARK} --extension table --to html ${SOURCE}
  OUTPUT_VARIABLE body COMMAND_ERROR_IS_FATAL ANY)
configure_file(${TEMPLATE} ${OUTPUT} @ONLY)
