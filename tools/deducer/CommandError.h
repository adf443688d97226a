// The message a program reports for a command that failed, shared by the
// deducer shell and the workbench so that both say the same.
#pragma once

#include <exception>
#include <new>
#include <string>

#include "engine/Deducer.h"
#include "framework/SysUtils.h"

namespace deducer {

// Called from a catch handler: the message of the exception being handled,
// after Prefix; an error that ended a run names the rule whose actions
// raised it. Exceptions that are not std::exception propagate.
inline std::string CommandErrorMessage(const kb::TDeducer& Engine, const std::string& Prefix) {
  try {
    throw;
  } catch (const kb::Exception& e) {
    const std::string rule = Engine.RuleFailedBy(std::current_exception());
    return Prefix + (rule.empty() ? std::string() : "In rule " + rule + ": ") + e.Message();
  } catch (const std::bad_alloc&) {
    return Prefix + "Out of memory";
  } catch (const std::exception& e) {
    return Prefix + e.what();
  }
}

}  // namespace deducer
