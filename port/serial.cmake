# Serial ports of the platform layer (termios, exclusive open, readiness wait, pseudo-terminal
# pairs): library port_serial. The serial interface of the transport links it.
add_library(port_serial STATIC ${CMAKE_CURRENT_LIST_DIR}/serial.cpp)
target_include_directories(port_serial PUBLIC ${PROJECT_SOURCE_DIR})
