#include "show/fade.h"
FadeOperationsTable FadeOperations = {};
int32_t MultiplyTable[256 * 256];
