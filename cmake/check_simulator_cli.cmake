# The simulator's command line as a script author meets it: the change report
# as JSON in a file, the linter's exit codes, a broken machine description.
set(work ${OUT}/sim-cli)
file(REMOVE_RECURSE ${work})
file(MAKE_DIRECTORY ${work})

execute_process(COMMAND ${SIM} --machine ${SRC}/examples/machines/pv715-xp-all-devices.json --json
                        --report ${work}/report.json ${SRC}/examples/notebook-setup/netsetup.ini
                OUTPUT_VARIABLE trace ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 1 OR NOT trace MATCHES "netsetup:CreateProcessFromIni:End")
  message(FATAL_ERROR "run: exit code ${rc}\n${trace}\n${err}")
endif()
file(READ ${work}/report.json report)
string(JSON removed GET "${report}" devices 1 change)
string(JSON started LENGTH "${report}" programs started)
if(NOT removed STREQUAL "removed" OR started LESS 5)
  message(FATAL_ERROR "unexpected report:\n${report}")
endif()

# Every shipped example is clean.
file(GLOB examples ${SRC}/examples/*/*.ini)
execute_process(COMMAND ${SIM} lint ${examples} OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT out STREQUAL "")
  message(FATAL_ERROR "lint of the examples: exit code ${rc}\n${out}")
endif()

file(WRITE ${work}/warn.ini "[INIT]\nCMD1=CHECK_VENDOR\n[Unused]\n")
execute_process(COMMAND ${SIM} lint ${work}/warn.ini OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 1 OR NOT out MATCHES "warn.ini:3: warning TV038: section \\[Unused\\] is not read")
  message(FATAL_ERROR "lint with a warning: exit code ${rc}\n${out}")
endif()

file(WRITE ${work}/bad.ini "[INIT]\nCMD1=CHECK_VENDOR\nCMD3=CHECK_MODEM\n")
execute_process(COMMAND ${SIM} lint ${work}/bad.ini OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 2 OR NOT out MATCHES "bad.ini:3: error TV003: CMD3 never runs")
  message(FATAL_ERROR "lint with an error: exit code ${rc}\n${out}")
endif()

file(WRITE ${work}/broken.json "{\"devices\": [{\"class\": \"Modem\"}]}")
execute_process(COMMAND ${SIM} --machine ${work}/broken.json ${work}/bad.ini
                OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 2 OR NOT err MATCHES "\"devices\\[0\\]\": expected an object with \"class\" and \"hardwareIds\"")
  message(FATAL_ERROR "broken machine: exit code ${rc}\n${err}")
endif()

execute_process(COMMAND ${SIM} --frobnicate ${work}/bad.ini OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 2)
  message(FATAL_ERROR "unknown option: exit code ${rc}\n${err}")
endif()

# Several scripts in one call; the worst finding decides the exit code.
execute_process(COMMAND ${SIM} lint ${work}/warn.ini ${work}/bad.ini OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 2 OR NOT out MATCHES "warn.ini:3:" OR NOT out MATCHES "bad.ini:3:")
  message(FATAL_ERROR "lint of two scripts: exit code ${rc}\n${out}")
endif()

# SARIF for code review and JSON for scripts, from the same findings.
execute_process(COMMAND ${SIM} lint --format sarif ${work}/bad.ini OUTPUT_VARIABLE out RESULT_VARIABLE rc)
string(JSON version GET "${out}" version)
string(JSON ruleId GET "${out}" runs 0 results 0 ruleId)
if(NOT rc EQUAL 2 OR NOT version STREQUAL "2.1.0" OR NOT ruleId STREQUAL "TV003")
  message(FATAL_ERROR "lint --format sarif: exit code ${rc}\n${out}")
endif()
execute_process(COMMAND ${SIM} lint --format json ${work}/bad.ini OUTPUT_VARIABLE out RESULT_VARIABLE rc)
string(JSON line GET "${out}" 0 line)
if(NOT rc EQUAL 2 OR NOT line EQUAL 3)
  message(FATAL_ERROR "lint --format json: exit code ${rc}\n${out}")
endif()

# A script that cannot be read, a folder, or a wrong call: 3, not a finding.
foreach(target ${work}/none.ini ${work})
  execute_process(COMMAND ${SIM} lint ${target} OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
  if(NOT rc EQUAL 3)
    message(FATAL_ERROR "lint of ${target}: exit code ${rc}\n${err}")
  endif()
endforeach()
execute_process(COMMAND ${SIM} lint --format xml ${work}/bad.ini OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 3)
  message(FATAL_ERROR "lint --format xml: exit code ${rc}\n${err}")
endif()

# A folder is no script for a run either, and "SCRIPT lint" is refused with the right call.
execute_process(COMMAND ${SIM} ${work} OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 2 OR NOT err MATCHES "is a folder")
  message(FATAL_ERROR "run of a folder: exit code ${rc}\n${err}")
endif()
execute_process(COMMAND ${SIM} ${work}/bad.ini lint OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 2 OR NOT err MATCHES "tarnvale-sim lint ")
  message(FATAL_ERROR "SCRIPT lint: exit code ${rc}\n${err}")
endif()

execute_process(COMMAND ${SIM} --version OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT out MATCHES "^tarnvale-sim [0-9]+\\.[0-9]+")
  message(FATAL_ERROR "--version: exit code ${rc}\n${out}")
endif()
execute_process(COMMAND ${SIM} --help OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT out MATCHES "docs/setup-script.md" OR NOT out MATCHES "Example: tarnvale-sim")
  message(FATAL_ERROR "--help: exit code ${rc}\n${out}")
endif()

# The run summary and what a pipeline gates on: a check that stops the run is
# a stop, not a failure; a program that never ends gives no exit code of the tool.
set(nowifi ${SRC}/examples/machines/pv715-xp-no-wireless.json)
set(netsetup ${SRC}/examples/notebook-setup/netsetup.ini)
execute_process(COMMAND ${SIM} --machine ${nowifi} --fail-on stop ${netsetup}
                OUTPUT_QUIET ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 4 OR NOT err MATCHES "CMD17=CHECK_WIFI: stopped the run: Could not find wireless LAN device")
  message(FATAL_ERROR "--fail-on stop: exit code ${rc}\n${err}")
endif()
execute_process(COMMAND ${SIM} --machine ${nowifi} --fail-on failure ${netsetup}
                OUTPUT_QUIET ERROR_QUIET RESULT_VARIABLE rc)
if(NOT rc EQUAL 1)
  message(FATAL_ERROR "--fail-on failure without a failure: exit code ${rc}")
endif()
execute_process(COMMAND ${SIM} --machine ${SRC}/examples/machines/pv715-xp-postinstall-hangs.json --json
                        --report ${work}/hang.json ${netsetup}
                OUTPUT_QUIET ERROR_QUIET RESULT_VARIABLE rc)
file(READ ${work}/hang.json report)
string(JSON reason GET "${report}" run end reason)
string(JSON at GET "${report}" run end command)
string(JSON exitType TYPE "${report}" exitCode)
if(NOT rc EQUAL 4 OR NOT reason STREQUAL "never ends" OR NOT at EQUAL 23 OR NOT exitType STREQUAL "NULL")
  message(FATAL_ERROR "a program that never ends: exit code ${rc}\n${report}")
endif()

# A description without debugMode traces nothing: the simulator says so, and
# an escape sequence of the script reaches neither the trace nor the report raw.
file(WRITE ${work}/quiet.json "{\"product\": {\"Vendor\": \"VELTARO\", \"Version\": \"PV715J01\"}}")
string(ASCII 27 esc)
file(WRITE ${work}/esc.ini "[INIT]\nCMD1=CHECK_VENDOR${esc}[2J\n")
execute_process(COMMAND ${SIM} --machine ${work}/quiet.json ${work}/esc.ini
                OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT err MATCHES "tracing is off" OR err MATCHES "${esc}" OR NOT err MATCHES "CHECK_VENDOR\\\\x1b\\[2J: unknown keyword")
  message(FATAL_ERROR "tracing off: exit code ${rc}\n${err}")
endif()

# A run ended after its 330th call to Windows (in DRIVER_REG, the soft modem
# off), the machine described as it was left, and the package run again
# there: the device is on again, and a further run changes only the stamp.
execute_process(COMMAND ${SIM} --machine ${SRC}/examples/machines/pv715-xp-all-devices.json --stop-after 330
                        --capture-after ${work}/stopped.json ${SRC}/examples/notebook-setup/netsetup.ini
                OUTPUT_VARIABLE trace ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 4 OR NOT err MATCHES "the process was ended after its 330 calls to Windows, in CMD16"
   OR NOT err MATCHES "no exit code: the process was ended")
  message(FATAL_ERROR "stopped run: exit code ${rc}\n${err}")
endif()
file(READ ${work}/stopped.json stopped)
if(NOT stopped MATCHES "Quillmark\\\\\\\\DisabledDevices")
  message(FATAL_ERROR "the description of the stopped run lacks the record of the disabled device:\n${stopped}")
endif()
execute_process(COMMAND ${SIM} --machine ${work}/stopped.json --twice ${SRC}/examples/notebook-setup/netsetup.ini
                OUTPUT_VARIABLE trace ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 1 OR NOT trace MATCHES "EnableRecordedDevices:Enable PCI"
   OR NOT err MATCHES "A second run changes 1 thing:\nCMD15=MODEM_HOMOL:")
  message(FATAL_ERROR "run after the stop: exit code ${rc}\n${trace}\n${err}")
endif()
execute_process(COMMAND ${SIM} --twice --json ${SRC}/examples/scripts/notebook-check.ini
                OUTPUT_VARIABLE trace ERROR_VARIABLE err RESULT_VARIABLE rc)
string(JSON nothing GET "${err}" secondRun changesNothing)
if(NOT rc EQUAL 1 OR NOT nothing)
  message(FATAL_ERROR "--twice --json: exit code ${rc}\n${err}")
endif()

# The companion runs only when the package holds it, or when --companion lays
# a stand-in: the bundled 64-bit example carries no binaries.
execute_process(COMMAND ${SIM} --machine ${SRC}/examples/machines/pv715-vista64-all-devices.json
                        ${SRC}/examples/wow64-setup/netset64.ini
                OUTPUT_VARIABLE trace ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT err MATCHES "The 64-bit companion: none: the package has no netset6464.exe"
   OR NOT err MATCHES "CMD6=INSTALL_DRIVER.X64 \\[Drivers_VISTA\\]: failed" OR err MATCHES "created  [^\n]*netset6464")
  message(FATAL_ERROR "64-bit example without its companion: exit code ${rc}\n${err}")
endif()
execute_process(COMMAND ${SIM} --companion --machine ${SRC}/examples/machines/pv715-vista64-all-devices.json
                        ${SRC}/examples/wow64-setup/netset64.ini
                OUTPUT_VARIABLE trace ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT err MATCHES "a stand-in that --companion laid" OR NOT err MATCHES "No failure")
  message(FATAL_ERROR "64-bit example with --companion: exit code ${rc}\n${err}")
endif()

# The bundled example copies a folder of its own package (C:\Tarnvale\docs):
# with --machine that path is found in the package beside the script. The
# one finding is the driver selection on that notebook, whose modem has a
# newer driver than the package: the forced update would replace it.
execute_process(COMMAND ${SIM} lint --machine ${SRC}/examples/machines/pv715-xp-all-devices.json
                        ${SRC}/examples/notebook-setup/netsetup.ini OUTPUT_VARIABLE out RESULT_VARIABLE rc)
string(REGEX MATCHALL "warning TV[0-9]+" found "${out}")
if(NOT rc EQUAL 1 OR NOT found STREQUAL "warning TV063" OR NOT out MATCHES "over the driver oem3.inf")
  message(FATAL_ERROR "lint --machine of the bundled example: exit code ${rc}\n${out}")
endif()

# Every option the help names is in the script authors' reference.
execute_process(COMMAND ${SIM} --help-all OUTPUT_VARIABLE help RESULT_VARIABLE rc)
string(REGEX MATCHALL "--[a-z][a-z-]+" options "${help}")
list(REMOVE_DUPLICATES options)
file(READ ${SRC}/docs/setup-script.md reference)
foreach(option IN LISTS options)
  string(FIND "${reference}" "`${option}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the help names ${option}, which docs/setup-script.md does not")
  endif()
endforeach()

# The README's simulator command lines run as they stand (from the sources' folder).
file(STRINGS ${SRC}/README.md readme_lines REGEX "^    build/host/tarnvale-sim ")
set(ran 0)
foreach(line IN LISTS readme_lines)
  if(line MATCHES "\\[|SCRIPT\\.ini|FILE")
    continue()  # a synopsis, not a command
  endif()
  string(REGEX REPLACE "^    build/host/tarnvale-sim " "" arguments "${line}")
  separate_arguments(arguments UNIX_COMMAND "${arguments}")
  execute_process(COMMAND ${SIM} ${arguments} WORKING_DIRECTORY ${SRC} OUTPUT_QUIET ERROR_VARIABLE err RESULT_VARIABLE rc)
  if(rc EQUAL 2 OR rc EQUAL 3 OR err MATCHES "failure:")
    message(FATAL_ERROR "the README's command '${line}' gives exit code ${rc}:\n${err}")
  endif()
  math(EXPR ran "${ran} + 1")
endforeach()
if(ran LESS 1)
  message(FATAL_ERROR "no command line of the README was run")
endif()
