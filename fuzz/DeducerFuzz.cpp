// The fuzz target (libFuzzer) over the engine's parse-and-run entry point:
// each input is CLIPS text that a fresh engine loads (errors do not stop
// the load), then resets and runs. Output is discarded. A crash, a
// sanitizer report, a leak or a timeout is a finding; an error is not.
// The file's only outside face is LLVMFuzzerTestOneInput.
//
// Bounds, so that no input runs long or reaches outside:
// - the engine stops (the silent EAbort) after MaxFirings rule firings in
//   all, whoever asked for the run;
// - a watchdog interrupts an input that has run for MaxInputTime
//   (TDeducer::SetInterrupted: every function call then raises EAbort), so
//   endless loops and recursions in functions end too;
// - functions that name files work in a private directory, emptied after
//   each input, and refuse names with a directory part;
// - standard input is empty, and "exit" ends the input, not the process.
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>

#include "engine/Deducer.h"
#include "engine/DeducerPackages.h"

namespace {

using namespace kb;

// Rule firings per input, over every run it starts.
constexpr int32_t MaxFirings = 5000;
// Running time per input before the watchdog interrupts it: well below
// the fuzzer's own timeout, so that a slow input is ended rather than
// reported, unless the engine ignores the interruption.
constexpr std::chrono::milliseconds MaxInputTime{2000};

// The functions that take file names, and which of their arguments are.
struct TFileFunction {
  const char* Name;
  int FirstFile;
  int LastFile;
};
constexpr TFileFunction FileFunctions[] = {
    {"load", 0, 0},
    {"save", 0, 0},
    {"load-facts", 0, 0},
    {"save-facts", 0, 0},
    {"batch", 0, 0},
    {"open", 0, 0},
    {"remove", 0, 0},
    {"rename", 0, 1},
    {"dribble-on", 0, 0},
    {"load-facts-json", 0, 0},
    {"save-facts-json", 0, 0},
    {"load-component", 0, 0},
    {"save-component", 0, 0},
};

// A file function that first checks its file names: plain names only, so
// that everything stays in the private directory. The names are evaluated
// once, here, and passed on as values.
class TSandboxedFunction : public TKbUserFunction {
 public:
  TSandboxedFunction(IUserFunction Inner, const TFileFunction& Files)
      : TKbUserFunction(Inner->GetFunctionName()), Inner_(std::move(Inner)), Files_(Files) {
    SetMinArgumentCount(Inner_->GetMinArgumentCount());
    SetMaxArgumentCount(Inner_->GetMaxArgumentCount());
  }

  void Call(TFunctionCall& FunCall, TKbContext* Context, IKbValue& Result) override {
    TKbUserFunction::Call(FunCall, Context, Result);
    IFunCall call = FunCall.CloneCall();
    call->SetReasoner(FunCall.GetReasoner());
    for (int i = Files_.FirstFile; i <= Files_.LastFile && i < call->GetArgumentCount(); ++i) {
      IKbValue name = call->Eval(i, Context);
      const std::string text = name ? name->GetAsString() : std::string();
      if (text.empty() || text.find('/') != std::string::npos || text == "." || text == "..")
        throw Exception("fuzz sandbox: refused file name");
      call->SetArgument(i, name);
    }
    call->SetUserFunction(Inner_);
    Inner_->Call(*call, Context, Result);
  }

 private:
  IUserFunction Inner_;
  TFileFunction Files_;
};

// Interrupts the engine of an input that runs too long.
class TWatchdog {
 public:
  TWatchdog() : Thread_([this] { Watch(); }) {}
  ~TWatchdog() {
    {
      std::lock_guard<std::mutex> lock(Mutex_);
      Stop_ = true;
    }
    Wake_.notify_all();
    Thread_.join();
  }
  void Start(TDeducer* Engine) {
    std::lock_guard<std::mutex> lock(Mutex_);
    Engine_ = Engine;
    Deadline_ = std::chrono::steady_clock::now() + MaxInputTime;
    Wake_.notify_all();
  }
  void Stop() {
    std::lock_guard<std::mutex> lock(Mutex_);
    Engine_ = nullptr;
  }

 private:
  void Watch() {
    std::unique_lock<std::mutex> lock(Mutex_);
    while (!Stop_) {
      if (!Engine_) {
        Wake_.wait(lock);
        continue;
      }
      if (std::chrono::steady_clock::now() >= Deadline_) {
        Engine_->SetInterrupted(true);
        Engine_ = nullptr;
        continue;
      }
      Wake_.wait_until(lock, Deadline_);
    }
  }

  std::mutex Mutex_;
  std::condition_variable Wake_;
  TDeducer* Engine_ = nullptr;
  std::chrono::steady_clock::time_point Deadline_;
  bool Stop_ = false;
  std::thread Thread_;
};

std::filesystem::path& SandboxDir() {
  static std::filesystem::path dir;
  return dir;
}

void EmptySandbox() {
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(SandboxDir(), ignored))
    std::filesystem::remove_all(entry.path(), ignored);
}

void Sandbox(TDeducer& Engine) {
  for (const TFileFunction& f : FileFunctions)
    if (IUserFunction inner = Engine.GetUserFunction(f.Name))
      Engine.SetUserFunction(f.Name, IUserFunction(new TSandboxedFunction(inner, f)));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The private directory for files the inputs write.
  std::string dir = (std::filesystem::temp_directory_path() / "deducer-fuzz-XXXXXX").string();
  if (!::mkdtemp(dir.data()) || ::chdir(dir.c_str()) != 0) {
    std::perror("deducer-fuzz: private directory");
    std::abort();
  }
  SandboxDir() = dir;
  std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(SandboxDir(), ignored);
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  static TWatchdog watchdog;
  const std::string text(reinterpret_cast<const char*>(Data), Size);
  {
    TDeducer engine;
    engine.OnPrintOut = [](TPersistent*, const std::string&, const std::string&) {};
    engine.SetParserErrorHandling(ehRaiseAllAtEnd);
    Sandbox(engine);
    int32_t firings = 0;
    engine.OnRuleFired = [&firings](TDeducer*, TRule*) {
      if (++firings > MaxFirings) throw EAbort();
    };
    watchdog.Start(&engine);
    bool stopped = false;
    try {
      engine.Parse(text);
    } catch (const EAbort&) {
      stopped = true;
    } catch (const std::exception&) {
    }
    if (!stopped && !engine.GetInterrupted()) {
      try {
        engine.Reset();
        engine.Run(MaxFirings);
      } catch (const std::exception&) {
      }
    }
    watchdog.Stop();
  }
  EmptySandbox();
  return 0;
}
