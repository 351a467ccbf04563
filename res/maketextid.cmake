# Writes the header of named text ids from the text table:
#   cmake -DTABLE=<uitext.tsv> -DHEADER=<textid.h> -P maketextid.cmake
# Every row whose key starts with a digit must read "<number> <Name>"; a malformed key or a
# number or name used twice stops the build, so the table and the code cannot drift apart.
cmake_minimum_required(VERSION 3.25)
file(READ "${TABLE}" content)
string(REGEX MATCHALL "\n[0-9][^\t\r\n]*" keys "\n${content}")

set(enumerators "")
set(names "")
set(seen_numbers "")
set(seen_names "")
foreach(key IN LISTS keys)
    string(STRIP "${key}" key)
    if(NOT key MATCHES "^([0-9]+) ([A-Z][A-Za-z0-9]*)$")
        message(FATAL_ERROR "${TABLE}: the key \"${key}\" is not \"<number> <Name>\"")
    endif()
    set(number ${CMAKE_MATCH_1})
    set(name ${CMAKE_MATCH_2})
    if(number IN_LIST seen_numbers)
        message(FATAL_ERROR "${TABLE}: the number ${number} is used twice")
    endif()
    if(name IN_LIST seen_names)
        message(FATAL_ERROR "${TABLE}: the name ${name} is used twice")
    endif()
    list(APPEND seen_numbers ${number})
    list(APPEND seen_names ${name})
    string(APPEND enumerators "    ${name} = ${number},\n")
    string(APPEND names "    TextId::${name},\n")
endforeach()
list(LENGTH seen_names count)
if(count EQUAL 0)
    message(FATAL_ERROR "${TABLE}: no text ids")
endif()

# Written beside and copied only when it differs, so a change of wording alone rebuilds nothing
# that includes the header.
file(WRITE "${HEADER}.new" "\
// Generated from uitext.tsv at build time: edit the table, not this file.
#pragma once

#include <array>

namespace nimbra {

// Every string of the text table, by the name its row gives.
enum class TextId : int
{
${enumerators}};

// Every id of the table, in the table's order.
inline constexpr std::array<TextId, ${count}> AllTextIds = {
${names}};

} // namespace nimbra
")
file(COPY_FILE "${HEADER}.new" "${HEADER}" ONLY_IF_DIFFERENT)
file(REMOVE "${HEADER}.new")
