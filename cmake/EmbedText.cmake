# Turns a text file into a C++ source defining `const char SYMBOL[]` with its bytes.
file(READ ${IN} content HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${content}")
file(WRITE ${OUT} "namespace sorvel {\nextern const char ${SYMBOL}[];\nconst char ${SYMBOL}[] = {${bytes} 0x00};\n}\n")
