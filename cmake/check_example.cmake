# The bundled example runs on the default notebook: it passes both checks,
# traces the machine's version and region, and exits with 1.
execute_process(COMMAND ${SIM} ${SRC}/examples/scripts/notebook-check.ini
                OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 1)
  message(FATAL_ERROR "exit code ${rc}, expected 1:\n${out}")
endif()
string(FIND "${out}" "notebook-check:Version=PV715J01 Region=J" at)
if(at EQUAL -1)
  message(FATAL_ERROR "no version line in:\n${out}")
endif()
if(out MATCHES "Error check Vendor|WOW6432 process")
  message(FATAL_ERROR "a check failed on the default notebook:\n${out}")
endif()
