// The deducer program: loads CLIPS knowledge bases and commands into an
// engine, runs them and offers an interactive shell (see UsageText).
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "engine/Deducer.h"
#include "engine/DeducerIO.h"
#include "tools/deducer/Shell.h"

namespace {

// Ends the program. Release builds leave the engine to the system, which
// takes back its memory at once, instead of taking apart every fact, rule
// and network node first (a large knowledge base takes a while to free);
// debug and sanitizer builds free everything, so that leaks show. Either
// way, the files the program opened and the dribble file are closed first,
// as the engine's teardown closes them: what was written gets to its file
// (a write that failed was reported when it was made).
int Finish(kb::TDeducer& Engine, int Status) {
#ifdef KB_QUICK_EXIT
  try {
    Engine.IOStreams().Clear();
  } catch (const std::exception&) {
  }
  Engine.StopCapture();
  std::fflush(stdout);
  std::fflush(stderr);
  std::_Exit(Status);
#else
  (void)Engine;
  return Status;
#endif
}

}  // namespace

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
    std::printf("deducer %s\n", kb::LibraryVersion());
    return 0;
  }
  // The engine is the component "engine" of the root component "shell",
  // so that rules reach it by name: (get-component engine).
  kb::TComponent root;
  root.SetName("shell");
  auto* engine = new kb::TDeducer(&root);
  engine->SetName("engine");
  int status;
  {
    deducer::TShell shell(*engine, options);
    status = shell.Run();
  }
  return Finish(*engine, status);
}
