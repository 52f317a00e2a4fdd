# Writes the control page into a C++ source as one raw string.
file(READ ${INPUT} page)
set(delimiter "gloam_page")
string(FIND "${page}" ")${delimiter}\"" clash)
if(NOT clash EQUAL -1)
  message(FATAL_ERROR "${INPUT} contains the raw string's closing delimiter")
endif()
file(WRITE ${OUTPUT}.new
  "// Generated from src/remote/page.html by EmbedPage.cmake; edit the page, not this.\n"
  "#include \"remote/RemoteServer.h\"\n\n"
  "namespace remote {\n\n"
  "std::string_view remotePage() {\n"
  "    static constexpr char page[] = R\"${delimiter}(${page})${delimiter}\";\n"
  "    return {page, sizeof page - 1};\n"
  "}\n\n"
  "}  // namespace remote\n")
file(COPY_FILE ${OUTPUT}.new ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.new)
