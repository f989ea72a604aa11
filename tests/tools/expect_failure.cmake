# cmake -DCOMMAND="program;args" -DEXPECT=regex -DDIR=folder -P expect_failure.cmake
# Passes when the command exits with a non-zero status and its output matches EXPECT.
execute_process(COMMAND ${COMMAND} WORKING_DIRECTORY ${DIR} RESULT_VARIABLE status
                OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(status EQUAL 0)
  message(FATAL_ERROR "exit status 0, expected a failure; output:\n${out}")
endif()
if(NOT out MATCHES "${EXPECT}")
  message(FATAL_ERROR "the output does not match \"${EXPECT}\":\n${out}")
endif()
message(STATUS "exit status ${status}: ${out}")
