# The two documents that every Debian package carries in
# /usr/share/doc/<package>: the copyright file, in Debian's machine-readable
# format, made from LICENSE, and the changelog, in Debian's changelog format,
# made from CHANGELOG.md.  The packages are native (no Debian revision in the
# version), so the changelog is called changelog and has no upstream twin.

# Writes the copyright file to OUT from the MIT licence in LICENSE.  Debian
# calls that licence Expat, since "MIT" names several different texts.
function(seistools_deb_copyright out)
  file(READ "${PROJECT_SOURCE_DIR}/LICENSE" text)
  if(NOT text MATCHES "^MIT License\n+Copyright \\(c\\) ([^\n]+)\n+(.+)$")
    message(FATAL_ERROR "LICENSE does not begin with \"MIT License\" and a copyright line, "
                        "so the Debian copyright file cannot be made from it")
  endif()
  set(holders "${CMAKE_MATCH_1}")
  set(terms "${CMAKE_MATCH_2}")
  # Each line of the licence text is indented by one blank, and an empty
  # line becomes " ." (a line of its own would end the field).
  string(STRIP "${terms}" terms)
  string(REGEX REPLACE "\n[ \t]*\n" "\n.\n" terms "${terms}")
  string(REPLACE "\n" "\n " terms " ${terms}")
  file(WRITE "${out}"
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: ${PROJECT_NAME}

Files: *
Copyright: ${holders}
License: Expat
${terms}
")
endfunction()

# The English abbreviation of the weekday and month of an ISO date
# YYYY-MM-DD, for the date line of a changelog entry (Sakamoto's method for
# the weekday of the Gregorian calendar).
function(seistools_rfc2822_date iso out)
  if(NOT iso MATCHES "^([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9])$")
    message(FATAL_ERROR "not a date YYYY-MM-DD: ${iso}")
  endif()
  set(year ${CMAKE_MATCH_1})
  math(EXPR month "1${CMAKE_MATCH_2} - 100")  # no octal for 08 and 09
  math(EXPR day "1${CMAKE_MATCH_3} - 100")
  if(month LESS 1 OR month GREATER 12 OR day LESS 1 OR day GREATER 31)
    message(FATAL_ERROR "not a date YYYY-MM-DD: ${iso}")
  endif()
  set(offsets 0 3 2 5 0 3 5 1 4 6 2 4)
  math(EXPR index "${month} - 1")
  list(GET offsets ${index} offset)
  set(y ${year})
  if(month LESS 3)
    math(EXPR y "${y} - 1")
  endif()
  math(EXPR weekday "(${y} + ${y} / 4 - ${y} / 100 + ${y} / 400 + ${offset} + ${day}) % 7")
  set(weekdays Sun Mon Tue Wed Thu Fri Sat)
  set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
  list(GET weekdays ${weekday} weekday_name)
  list(GET months ${index} month_name)
  set(${out} "${weekday_name}, ${CMAKE_MATCH_3} ${month_name} ${year} 00:00:00 +0000" PARENT_SCOPE)
endfunction()

# Writes the Debian changelog to OUT from CHANGELOG.md, one entry for each
# release heading "## VERSION (YYYY-MM-DD)", signed by MAINTAINER.  A
# heading without a date (work not yet released) is left out.  The newest
# release must be this version: a package whose changelog says another
# version would lie about what it holds.
function(seistools_deb_changelog out maintainer)
  file(READ "${PROJECT_SOURCE_DIR}/CHANGELOG.md" text)
  # One list element a line; semicolons and brackets would confuse lists.
  string(REPLACE ";" "<semicolon>" text "${text}")
  string(REPLACE "[" "<open>" text "${text}")
  string(REPLACE "]" "<close>" text "${text}")
  string(REPLACE "\n" ";" lines "${text}")

  set(result "")
  set(entry "")
  set(in_release FALSE)
  set(first_version "")
  foreach(line IN LISTS lines ITEMS "## end")
    if(line MATCHES "^##? ")
      if(in_release)  # close the entry before this heading
        string(STRIP "${entry}" body)
        string(APPEND result "${header}\n\n  ${body}\n\n -- ${maintainer}  ${date}\n\n")
      endif()
      set(in_release FALSE)
      set(entry "")
      if(line MATCHES "^## ([0-9][0-9A-Za-z.+~]*) \\(([0-9-]+)\\)[ \t]*$")
        set(in_release TRUE)
        if(first_version STREQUAL "")
          set(first_version "${CMAKE_MATCH_1}")
        endif()
        seistools_rfc2822_date("${CMAKE_MATCH_2}" date)
        set(header "${PROJECT_NAME} (${CMAKE_MATCH_1}) unstable; urgency=medium")
      endif()
    elseif(in_release)
      # Markdown's "- " items become "* " items; every line is indented by
      # two blanks, as the changelog format wants; blank lines stay blank.
      if(line MATCHES "^[ \t]*$")
        string(APPEND entry "\n")
      elseif(line MATCHES "^- (.*)$")
        string(APPEND entry "  * ${CMAKE_MATCH_1}\n")
      else()
        string(APPEND entry "  ${line}\n")
      endif()
    endif()
  endforeach()

  if(NOT first_version STREQUAL PROJECT_VERSION)
    message(FATAL_ERROR "CHANGELOG.md: the newest release is \"${first_version}\", "
                        "not this version ${PROJECT_VERSION}; add its entry before packaging")
  endif()
  string(REPLACE "<semicolon>" ";" result "${result}")
  string(REPLACE "<open>" "[" result "${result}")
  string(REPLACE "<close>" "]" result "${result}")
  string(STRIP "${result}" result)
  file(WRITE "${out}" "${result}\n")
endfunction()

# Compresses IN to OUT as Debian wants it: gzip at its best compression,
# without the file's name and time, so that a rebuild gives the same bytes.
function(seistools_gzip in out)
  find_program(SEISTOOLS_GZIP gzip REQUIRED)
  execute_process(COMMAND "${SEISTOOLS_GZIP}" -9 -n -c INPUT_FILE "${in}" OUTPUT_FILE "${out}"
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip ${in}: ${status}")
  endif()
endfunction()
