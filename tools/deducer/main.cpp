// The deducer command-line program.
#include <cstdio>

#include "KbVersion.h"

int main() {
  std::printf("deducer %s\n", KB_VERSION_STRING);
  return 0;
}
