# Turns a binary file into a comma-separated byte list for an array
# initializer: cmake -DIN=file -DOUT=file.inc -P bin-to-inc.cmake
file(READ ${IN} hex HEX)
string(LENGTH "${hex}" len)
if(len EQUAL 0)
    message(FATAL_ERROR "${IN} is empty")
endif()
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
file(WRITE ${OUT}.tmp "${bytes}\n")
file(RENAME ${OUT}.tmp ${OUT})
