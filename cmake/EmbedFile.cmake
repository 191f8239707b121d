# lodestone_embed_file(<output.cpp> <input> <namespace> <function>) writes a
# source file whose function returns the input file's bytes.
function(lodestone_embed_file output input ns function)
  file(READ ${input} hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "(([^,]*,){16})" "\\1\n    " bytes "${bytes}")
  file(WRITE ${output}.tmp
    "// Generated from ${input}\n#include <cstdint>\n#include <vector>\n\n"
    "namespace ${ns} {\n\nstd::vector<std::uint8_t> ${function}() {\n"
    "    static constexpr std::uint8_t data[] = {\n    ${bytes}\n    };\n"
    "    return {std::begin(data), std::end(data)};\n}\n\n} // namespace ${ns}\n")
  configure_file(${output}.tmp ${output} COPYONLY)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${input})
endfunction()
