# Writes OUTPUT, a C++ source holding each of FILES (a ;-list) as bytes, so that the web page
# is part of the program: nothing is installed beside it, nothing fetched at run time.
file(WRITE ${OUTPUT} "// Made from tools/ioxd/web by embed_web.cmake; edit those files instead.\n"
                     "#include \"web_files.h\"\n\nnamespace iox::web {\n\nnamespace {\n\n")
set(table "")
foreach(file ${FILES})
    get_filename_component(name ${file} NAME)
    string(MAKE_C_IDENTIFIER ${name} id)
    file(READ ${file} hex HEX)
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
    file(APPEND ${OUTPUT} "const char k_${id}[] = {${bytes}};\n")
    string(APPEND table "        {\"${name}\", {k_${id}, sizeof k_${id}}},\n")
endforeach()
file(APPEND ${OUTPUT} "\n}  // namespace\n\nstd::optional<std::string_view> webFile(std::string_view name)\n{\n"
                      "    static const std::pair<std::string_view, std::string_view> files[] = {\n${table}    };\n"
                      "    for (const auto& [file, bytes] : files)\n        if (file == name)\n            return bytes;\n"
                      "    return std::nullopt;\n}\n\n}  // namespace iox::web\n")
