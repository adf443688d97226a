// The shared, counted object types of the engine and their reference types.
//
// An "interface" of the engine is the counted reference to its class:
// IKbValue is TRef<TKbValue>, IFact is TRef<TFact>, and so on. Asking an
// object whether it supports an interface is a dynamic_cast (RefCast).
// Every shared object that can be copied, compared and tagged derives from
// TCloneable.
#pragma once

#include <cstdint>
#include <string>

#include "framework/Classes.h"
#include "framework/Ref.h"

namespace kb {

class TCloneable;
class TKbValue;
class TValueVector;
class TFunctionCall;
class TKbUserFunction;
class TInterpretedFunction;
class TFactSlot;
class TFactTemplate;
class TFact;
class TKbToken;
class TKbStreamToken;
class TKbContext;
class TDeducer;
class IReasoner;

using ICloneable = TRef<TCloneable>;
using IKbValue = TRef<TKbValue>;
using IValueVector = TRef<TValueVector>;
using IFunCall = TRef<TFunctionCall>;
using IUserFunction = TRef<TKbUserFunction>;
using IInterpretedFunction = TRef<TInterpretedFunction>;
using IFactSlot = TRef<TFactSlot>;
using IFactTemplate = TRef<TFactTemplate>;
using IFact = TRef<TFact>;
using IReteToken = TRef<TKbToken>;
using IStreamToken = TRef<TKbStreamToken>;

// A shared object that copies, clones, compares itself and carries a tag.
class TCloneable : public TInterfacedPersistent {
 public:
  using TPersistent::Assign;
  // Copies Source into this object; raises EInvalidCast when Source is not
  // of a kind this object can take.
  virtual void Assign(const ICloneable& Source) = 0;
  // A new, independent copy.
  virtual ICloneable Clone() const = 0;
  // Whether Other is an equal object; false for objects of another kind.
  virtual bool Equals(const TCloneable* Other) const = 0;
  bool Equals(const ICloneable& Other) const { return Equals(Other.get()); }
  virtual int32_t GetTag() const = 0;
  virtual void SetTag(int32_t Value) = 0;
  // The hash code and the text of the object; used when it is a value's payload.
  virtual int32_t GetHashCode() const { return 0; }
  virtual std::string GetToString() const { return std::string(); }
};

// Raises EInvalidCast for an Assign or cast between unrelated kinds.
[[noreturn]] void InterfaceCastError(const char* Wanted);

}  // namespace kb
