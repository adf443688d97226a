// The deducer program: loads CLIPS knowledge bases and commands into an
// engine, runs them and offers an interactive shell (see UsageText).
#include <cstdio>
#include <string>

#include "KbVersion.h"
#include "engine/Deducer.h"
#include "tools/deducer/Shell.h"

int main(int argc, char** argv) {
  deducer::TOptions options;
  std::string error;
  if (!deducer::ParseOptions(argc, argv, options, error)) {
    std::fprintf(stderr, "deducer: %s\nTry 'deducer --help' for more information.\n",
                 error.c_str());
    return 2;
  }
  if (options.Help) {
    std::fputs(deducer::UsageText().c_str(), stdout);
    return 0;
  }
  if (options.Version) {
    std::printf("deducer %s\n", KB_VERSION_STRING);
    return 0;
  }
  kb::TDeducer engine;
  deducer::TShell shell(engine, options);
  return shell.Run();
}
