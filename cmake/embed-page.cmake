# Turns the chart page's scripts and style sheet into a C++ source that kmi-host compiles in.
# Run at build time: cmake "-DSCRIPTS=a.js;b.js" -DSTYLE=... -DOUT=... -P embed-page.cmake
# (the scripts, joined in their order, are the page's one script).
foreach(name SCRIPTS STYLE OUT)
    if(NOT DEFINED ${name})
        message(FATAL_ERROR "embed-page.cmake: ${name} is not set")
    endif()
endforeach()
set(script "")
foreach(file IN LISTS SCRIPTS)
    file(READ ${file} text)
    string(APPEND script "${text}")
endforeach()
file(READ ${STYLE} style)
foreach(text script style)
    string(FIND "${${text}}" ")kmi_page\"" at)
    if(NOT at EQUAL -1)
        message(FATAL_ERROR "embed-page.cmake: the ${text} holds the literal's closing delimiter")
    endif()
    string(TOLOWER "${${text}}" lower)
    string(FIND "${lower}" "</script" at_script)
    string(FIND "${lower}" "</style" at_style)
    if(NOT at_script EQUAL -1 OR NOT at_style EQUAL -1)
        message(FATAL_ERROR "embed-page.cmake: the ${text} would close its element in the page")
    endif()
endforeach()
# Split into pieces of at most 8000 bytes: some compilers limit one string literal.
function(literal_pieces text out_var)
    string(LENGTH "${text}" length)
    set(pieces "")
    set(at 0)
    while(at LESS length)
        string(SUBSTRING "${text}" ${at} 8000 piece)
        string(APPEND pieces "R\"kmi_page(${piece})kmi_page\"\n")
        math(EXPR at "${at} + 8000")
    endwhile()
    if(pieces STREQUAL "")
        set(pieces "\"\"")
    endif()
    set(${out_var} "${pieces}" PARENT_SCOPE)
endfunction()
literal_pieces("${script}" script_literal)
literal_pieces("${style}" style_literal)
file(WRITE ${OUT}.tmp "// Generated from the chart page's scripts and style sheet (page/) by cmake/embed-page.cmake.
namespace kmi::emu {
extern const char* const chart_page_script;
extern const char* const chart_page_style;
const char* const chart_page_script =
${script_literal};
const char* const chart_page_style =
${style_literal};
}  // namespace kmi::emu
")
file(COPY_FILE ${OUT}.tmp ${OUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUT}.tmp)
