# Runs gifframes on corpus files and checks its lines, PAM files, messages
# and exit statuses. Expected values come from the files' own blocks
# (screen size, image count, graphic control delays).
#
#   cmake -DGIFFRAMES=path -DTESTDATA=dir -DWORK=dir [-DSANITIZED=ON] -P gifframes_test.cmake
cmake_minimum_required(VERSION 3.25)

foreach(var GIFFRAMES TESTDATA WORK)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "gifframes_test.cmake needs -D${var}=...")
  endif()
endforeach()

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")

# Each check records a failure and carries on, so that one run shows them all.
function(fail text)
  message(STATUS "FAIL: ${text}")
  set_property(GLOBAL APPEND PROPERTY gifframes_failures "${text}")
endfunction()

function(expect_equal actual expected text)
  if(NOT actual STREQUAL expected)
    fail("${text}: got '${actual}', expected '${expected}'")
  endif()
endfunction()

function(expect_match actual regex text)
  if(NOT actual MATCHES "${regex}")
    fail("${text}: '${actual}' does not match '${regex}'")
  endif()
endfunction()

function(run_gifframes prefix)
  execute_process(COMMAND "${GIFFRAMES}" ${ARGN}
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  set(${prefix}_status "${status}" PARENT_SCOPE)
  set(${prefix}_out "${out}" PARENT_SCOPE)
  set(${prefix}_err "${err}" PARENT_SCOPE)
endfunction()

set(pam_prefix "P7\nWIDTH @W@\nHEIGHT @H@\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n")

# Checks that dir holds exactly count PAM files of w x h with a proper header.
function(check_pams dir count w h)
  set(bad "")
  string(REPLACE "@W@" "${w}" header "${pam_prefix}")
  string(REPLACE "@H@" "${h}" header "${header}")
  string(LENGTH "${header}" header_length)
  math(EXPR expected_size "${header_length} + ${w} * ${h} * 4")
  file(GLOB pams "${dir}/*.pam")
  list(LENGTH pams found)
  if(NOT found EQUAL count)
    list(APPEND bad "${dir}: ${found} PAM files, expected ${count}")
  endif()
  math(EXPR last "${count} - 1")
  foreach(i RANGE ${last})
    set(padded "00${i}")
    string(LENGTH "${padded}" n)
    math(EXPR start "${n} - 3")
    string(SUBSTRING "${padded}" ${start} 3 padded)
    set(pam "${dir}/frame_${padded}.pam")
    if(NOT EXISTS "${pam}")
      list(APPEND bad "${pam} missing")
      continue()
    endif()
    file(SIZE "${pam}" size)
    file(READ "${pam}" head LIMIT ${header_length})
    if(NOT size EQUAL expected_size OR NOT head STREQUAL header)
      list(APPEND bad "${pam}: size ${size} (expected ${expected_size}) or header differs")
    endif()
  endforeach()
  string(REPLACE ";" "; " bad "${bad}")
  set(pam_problems "${bad}" PARENT_SCOPE)
endfunction()

# --- Frames of an animation: one line and one PAM per image, delays from
# the graphic control extensions (10, 20, 30, 40 centiseconds).
run_gifframes(anim "${TESTDATA}/animated-red-blue.gif" "${WORK}/anim")
expect_equal("${anim_status}" 0 "animated-red-blue: exit status (${anim_err})")
expect_equal("${anim_out}"
  "frame 0 64x48 delay 10\nframe 1 64x48 delay 20\nframe 2 64x48 delay 30\nframe 3 64x48 delay 40\n"
  "animated-red-blue: lines")
check_pams("${WORK}/anim" 4 64 48)
expect_equal("${pam_problems}" "" "animated-red-blue: PAM files")

# --- Downscaling: a 64 x 48 screen at width 20 gives 20 x trunc(48/64*20) = 20 x 15.
run_gifframes(scaled --scale-width 20 "${TESTDATA}/animated-red-blue.gif" "${WORK}/scaled")
expect_equal("${scaled_status}" 0 "animated-red-blue at 20: exit status (${scaled_err})")
expect_equal("${scaled_out}"
  "frame 0 20x15 delay 10\nframe 1 20x15 delay 20\nframe 2 20x15 delay 30\nframe 3 20x15 delay 40\n"
  "animated-red-blue at 20: lines")
check_pams("${WORK}/scaled" 4 20 15)
expect_equal("${pam_problems}" "" "animated-red-blue at 20: PAM files")

# A width equal to the screen's is not a downscale; one less is.
run_gifframes(exact --scale-width 64 "${TESTDATA}/animated-red-blue.gif" "${WORK}/exact")
expect_match("${exact_out}" "^frame 0 64x48 delay 10\n" "animated-red-blue at 64")
run_gifframes(less --scale-width 63 "${TESTDATA}/animated-red-blue.gif" "${WORK}/less")
expect_match("${less_out}" "^frame 0 63x47 delay 10\n" "animated-red-blue at 63")

# --- The same picture stored interlaced and not decodes to the same bytes.
run_gifframes(inter "${TESTDATA}/hippopotamus.interlaced.gif" "${WORK}/inter")
run_gifframes(plain "${TESTDATA}/hippopotamus.regular.gif" "${WORK}/plain")
expect_equal("${inter_out}" "frame 0 36x28 delay 6\n" "hippopotamus interlaced: lines")
expect_equal("${plain_out}" "frame 0 36x28 delay 6\n" "hippopotamus regular: lines")
if(EXISTS "${WORK}/inter/frame_000.pam" AND EXISTS "${WORK}/plain/frame_000.pam")
  file(SHA256 "${WORK}/inter/frame_000.pam" inter_hash)
  file(SHA256 "${WORK}/plain/frame_000.pam" plain_hash)
  expect_equal("${inter_hash}" "${plain_hash}" "hippopotamus: interlaced frame against regular frame")
endif()

# --- Files that cannot be decoded: one line on stderr, status 1, no frames.
foreach(bad artificial-gif_no-frames.gif does-not-exist.gif)
  set(dir "${WORK}/bad-${bad}")
  run_gifframes(bad "${TESTDATA}/${bad}" "${dir}")
  expect_equal("${bad_status}" 1 "${bad}: exit status")
  expect_equal("${bad_err}" "gifframes: ${TESTDATA}/${bad}: cannot be decoded\n" "${bad}: stderr")
  expect_equal("${bad_out}" "" "${bad}: stdout")
  file(GLOB left "${dir}/*.pam")
  expect_equal("${left}" "" "${bad}: frames left behind")
endforeach()

# --- Bench mode: two good files three times each, the bad one counted and skipped.
# 3 x (4 frames of 64x48 + 1 frame of 90x112) = 15 frames, 3 x (12288 + 10080) pixels.
run_gifframes(bench --bench 3 "${TESTDATA}/animated-red-blue.gif"
  "${TESTDATA}/artificial-gif_no-frames.gif" "${TESTDATA}/hat.gif")
expect_equal("${bench_status}" 0 "bench: exit status")
expect_match("${bench_out}" "failed=1\nfiles=2 frames=15 pixels=67104 seconds=[0-9]+\\.[0-9]+\n$" "bench")
expect_equal("${bench_err}" "gifframes: ${TESTDATA}/artificial-gif_no-frames.gif: cannot be decoded\n"
  "bench: stderr")

# The scale width applies to the bench too: 4 frames of 20 x 15.
run_gifframes(bench_scaled --bench 1 --scale-width 20 "${TESTDATA}/animated-red-blue.gif")
expect_match("${bench_scaled_out}" "^files=1 frames=4 pixels=1200 seconds=" "bench at 20")

# --- Only regular files are opened, and promptly refused otherwise: a FIFO
# named .gif (no writer ever comes) and a folder named .gif.
function(run_gifframes_limited prefix seconds)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err
    TIMEOUT ${seconds})
  set(${prefix}_status "${status}" PARENT_SCOPE)
  set(${prefix}_out "${out}" PARENT_SCOPE)
  set(${prefix}_err "${err}" PARENT_SCOPE)
endfunction()

file(MAKE_DIRECTORY "${WORK}/folder.gif")
set(not_files "${WORK}/folder.gif")
find_program(MKFIFO mkfifo)
if(MKFIFO)
  execute_process(COMMAND "${MKFIFO}" "${WORK}/fifo.gif")
  list(APPEND not_files "${WORK}/fifo.gif")
endif()
foreach(path IN LISTS not_files)
  run_gifframes_limited(special 20 "${GIFFRAMES}" "${path}" "${WORK}/special-out")
  expect_equal("${special_status}" 1 "${path}: exit status")
  expect_equal("${special_err}" "gifframes: ${path}: cannot be decoded\n" "${path}: stderr")
endforeach()

# Writes a file from hex digits (printf turns \xHH into bytes).
function(write_hex path hex)
  string(REGEX REPLACE "(..)" "\\\\x\\1" escaped "${hex}")
  execute_process(COMMAND printf "${escaped}" OUTPUT_FILE "${path}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "cannot write ${path}")
  endif()
endfunction()

# --- Bounded memory. A 506-byte file with a 65535 x 65535 screen and 20
# frames of a 2 x 2 image: its full-size canvas (17 GB) passes the 1 GiB
# limit and the file fails at once (it used to write 17 GB frames); at width
# 250 it decodes with its string store sized by the 2 x 2 images (it used to
# reserve 8.6 GB), inside a 1 GiB address space.
set(frame_hex "21f904040a0000002c00000000020002000002034c120500")
set(huge_hex "474946383961ffffffff810000000000ff000000ff000000ff")
foreach(i RANGE 1 20)
  string(APPEND huge_hex "${frame_hex}")
endforeach()
write_hex("${WORK}/huge-screen.gif" "${huge_hex}3b")
file(SIZE "${WORK}/huge-screen.gif" huge_size)
expect_equal("${huge_size}" 506 "huge-screen.gif size")
run_gifframes_limited(huge 20 "${GIFFRAMES}" "${WORK}/huge-screen.gif" "${WORK}/huge")
expect_equal("${huge_status}" 1 "huge screen: exit status")
expect_equal("${huge_err}" "gifframes: ${WORK}/huge-screen.gif: cannot be decoded\n" "huge screen: stderr")
file(GLOB left "${WORK}/huge/*.pam")
expect_equal("${left}" "" "huge screen: frames left behind")

set(limit_as "")
find_program(PRLIMIT prlimit)
# The sanitizers reserve terabytes of address space: no limit there.
if(PRLIMIT AND NOT SANITIZED)
  set(limit_as "${PRLIMIT}" --as=1073741824)
endif()
run_gifframes_limited(huge_scaled 20 ${limit_as} "${GIFFRAMES}" --scale-width 250 "${WORK}/huge-screen.gif"
  "${WORK}/huge-scaled")
expect_equal("${huge_scaled_status}" 0 "huge screen at 250: exit status (${huge_scaled_err})")
expect_match("${huge_scaled_out}" "^frame 0 250x250 delay 10\n.*frame 19 250x250 delay 10\n$"
  "huge screen at 250: lines")

# --- --max-canvas-mb: a 2000 x 1000 screen needs 8,000,000 bytes of canvas.
write_hex("${WORK}/wide.gif"
  "474946383961d007e803800000000000ffffff2c00000000010001000002024c01003b")
run_gifframes(wide7 --max-canvas-mb 7 "${WORK}/wide.gif" "${WORK}/wide7")
expect_equal("${wide7_status}" 1 "2000 x 1000 with 7 MiB: exit status")
run_gifframes(wide8 --max-canvas-mb 8 "${WORK}/wide.gif" "${WORK}/wide8")
expect_equal("${wide8_out}" "frame 0 2000x1000 delay 5\n" "2000 x 1000 with 8 MiB")
run_gifframes(wide_scaled --max-canvas-mb 1 --scale-width 250 "${WORK}/wide.gif" "${WORK}/wide-scaled")
expect_equal("${wide_scaled_out}" "frame 0 250x125 delay 5\n" "2000 x 1000 at 250 with 1 MiB")

# --- Bad usage: usage text on stderr, status 2. Arguments of one case are
# separated by '|'.
set(usage_cases "<none>" "one-operand" "--scale-width|0|a.gif|out" "--scale-width|x|a.gif|out"
  "--max-canvas-mb|0|a.gif|out" "--max-canvas-mb"
  "--scale-width|2147483648|a.gif|out" "--bench|0|a.gif" "--bench|2" "--frobnicate|a.gif|out"
  "a.gif|out|extra" "--scale-width")
foreach(usage_case IN LISTS usage_cases)
  string(REPLACE "|" ";" args "${usage_case}")
  if(usage_case STREQUAL "<none>")
    set(args "")
  endif()
  run_gifframes(usage ${args})
  expect_equal("${usage_status}" 2 "usage '${usage_case}': exit status")
  expect_match("${usage_err}" "usage: gifframes" "usage '${usage_case}': stderr")
endforeach()

get_property(failures GLOBAL PROPERTY gifframes_failures)
if(failures)
  list(LENGTH failures n)
  message(FATAL_ERROR "${n} gifframes check(s) failed")
endif()
message(STATUS "gifframes: all checks passed")
