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

execute_process(COMMAND ${SIM} lint ${SRC}/examples/notebook-setup/netsetup.ini
                OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT out STREQUAL "")
  message(FATAL_ERROR "lint of the example: exit code ${rc}\n${out}")
endif()

file(WRITE ${work}/warn.ini "[INIT]\nCMD1=CHECK_VENDOR\n[Unused]\n")
execute_process(COMMAND ${SIM} lint ${work}/warn.ini OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 1 OR NOT out MATCHES "warn.ini:3: warning: section \\[Unused\\] is not read")
  message(FATAL_ERROR "lint with a warning: exit code ${rc}\n${out}")
endif()

file(WRITE ${work}/bad.ini "[INIT]\nCMD1=CHECK_VENDOR\nCMD3=CHECK_MODEM\n")
execute_process(COMMAND ${SIM} lint ${work}/bad.ini OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 2 OR NOT out MATCHES "bad.ini:3: error: CMD3 never runs")
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
