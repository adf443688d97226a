#include "rete/KbToken.h"

#include <algorithm>
#include <vector>

#include "core/KbContext.h"
#include "core/KbFunctions.h"
#include "framework/FreeList.h"

namespace kb {

// ------------------------------------------------------------ slot access

void TSlotAccessor::SetName(std::string Name) {
  Name_ = std::move(Name);
  Layout_ = nullptr;
  Index_ = -1;
}

void TSlotAccessor::Resolve(const TFactTemplate& Template) const {
  TSlotLayout* layout = Template.GetLayout();
  Index_ = layout->IndexOf(Name_);
  Layout_ = TRef<TSlotLayout>(layout);
}

const IKbValue* TSlotAccessor::GetSlow(const TFact& Fact) const {
  const TFactTemplate* t = Fact.GetTemplate().get();
  if (!t) return nullptr;
  Resolve(*t);
  return Index_ < 0 ? nullptr : &Fact.GetValue(Index_);
}

const IKbValue* ListElement(const IKbValue* List, int32_t SubIndex) {
  if (!List || !*List || (*List)->GetDType() != dtList || SubIndex < 0) return nullptr;
  const TValueVector* items = (*List)->ListPtr();
  if (!items || SubIndex >= items->Count()) return nullptr;
  return &items->Items()[static_cast<size_t>(SubIndex)];
}

// -------------------------------------------------------- slot references

TSlotReference::TSlotReference(int32_t FactIndex, std::string SlotName, int32_t SubIndex)
    : FactIndex_(FactIndex), SubIndex_(SubIndex), Slot_(std::move(SlotName)) {}

const TFact* TSlotReference::FactIn(const TKbToken* Token, const TFact* Fact) const noexcept {
  const int32_t count = Token ? Token->GetCount() : 0;
  if (FactIndex_ == count) return Fact;
  return Token ? Token->FactAt(FactIndex_) : nullptr;
}

IKbValue TSlotReference::Resolve(const TKbToken* Token, const TFact* Fact) const {
  const TFact* f = FactIn(Token, Fact);
  if (!f) KbError(SCorruptedVariable, GetText());
  if (Slot_.GetName().empty()) return NewFactId(f->GetID());
  const IKbValue* v = Slot_.Get(*f);
  if (!v) KbError(SInvalidSlotName, Slot_.GetName());
  if (SubIndex_ == NoSubIndex) return *v;
  // The element of the slot's list; a slot that holds no list, or a list
  // too short, raises the list's own errors.
  return (*v)->GetAsList()->Get(SubIndex_);
}

std::string TSlotReference::GetText() const {
  return IntToStr(FactIndex_) + " " + Slot_.GetName() + " " + IntToStr(SubIndex_);
}

TSlotReference* NewSlotReference(const TVariantArray& Array) {
  if (Array.size() != 3 || !Array[0].IsInteger() || !Array[1].IsString() || !Array[2].IsInteger())
    return nullptr;
  const int64_t fact = Array[0].AsInteger();
  const int64_t sub = Array[2].AsInteger();
  if (fact < INT32_MIN || fact > INT32_MAX || sub < INT32_MIN || sub > INT32_MAX) return nullptr;
  return new TSlotReference(static_cast<int32_t>(fact), Array[1].AsString(),
                            static_cast<int32_t>(sub));
}

void DeleteSlotReference(const TSlotReference* Reference) noexcept { delete Reference; }

IKbValue ResolveSlotReference(const TSlotReference& Reference, TKbContext* Context) {
  if (!Context) KbError(SNoContext, EnumName(dtVariantArray));
  // A function that runs its arguments in a scope of its own still sees
  // the match of the scope that holds it.
  const TKbContext* c = Context;
  while (!c->GetToken() && !c->GetFact() && c->GetParent()) c = c->GetParent();
  return Reference.Resolve(c->GetToken().get(), c->GetFact().get());
}

// The constructor and destructor of TKbContext and its members that hold
// or drop a token (or its fact) need the complete types: they are defined
// here, with the token (Reuse too: it drops both on every firing, inline).
TKbContext::TKbContext(TKbContext* Parent, TComponent* Owner)
    : Engine_(nullptr), Bindings_(std::make_unique<TBindings>(this)), Parent_(Parent) {
  if (Owner) {
    auto* engine = dynamic_cast<IReasoner*>(Owner);
    if (!engine) throw EInvalidCast("Invalid class typecast");
    Engine_ = engine->GetEngine();
    Interrupted_ = &engine->InterruptFlag();
  }
}

TKbContext::~TKbContext() = default;

void TKbContext::SetToken(const IReteToken& Value) { Token_ = Value; }

void TKbContext::Reuse(TKbContext* Parent) {
  Parent_ = Parent;
  if (Parent) {
    Engine_ = Parent->Engine_;
    Interrupted_ = Parent->Interrupted_;
  }
  if (Bindings_->Count() > 0) Bindings_->Clear();
  ClearReturnValue();
  Frame_ = {};
  Fact_.reset();
  Token_.reset();
  TokenSource_ = nullptr;
}

const IReteToken& TKbContext::MakeToken() const {
  Token_ = TokenSource_->MakeToken();
  return Token_;
}

// ----------------------------------------------------------------- tokens

namespace {

IFact Snapshot(const IFact& Fact) { return Fact ? Fact->CloneFact() : IFact(); }

}  // namespace

TKbToken* TKbToken::NewExtended(const IReteToken& Parent, const IFact& Snapshot) {
  const TKbToken* parent = Parent && Parent->Fact_ ? Parent.get() : nullptr;
  const int32_t count = parent ? parent->Count_ + 1 : 1;
  void* memory = Allocate(sizeof(TKbToken) + static_cast<size_t>(count) * sizeof(const TFact*));
  TKbToken* t;
  try {
    t = ::new (memory) TKbToken(Parent, Snapshot, ShareSnapshot);
  } catch (...) {
    Free(memory);
    throw;
  }
  auto** facts = reinterpret_cast<const TFact**>(t + 1);
  if (parent) {
    if (parent->Facts_) {
      // A few pointers: a loop beats a call to memmove.
      for (int32_t i = 0; i < parent->Count_; ++i) facts[i] = parent->Facts_[i];
    } else {
      int32_t i = parent->Count_;
      for (const TKbToken* p = parent; p && i > 0; p = p->Parent_.get())
        facts[--i] = p->Fact_.get();
    }
  }
  facts[count - 1] = Snapshot.get();
  t->Facts_ = facts;
  return t;
}

TKbToken::TKbToken(TTokenAction Action, const IFact& Fact)
    : TKbToken(Action, Snapshot(Fact), ShareSnapshot) {}

TKbToken::TKbToken(TTokenAction Action, const IFact& Snapshot, TShareSnapshot, uint64_t Cut)
    : TKbToken(Action, Snapshot, ShareSnapshot) {
  const uint64_t h = (Identity_ ^ Cut) * 0x100000001B3ull;
  Identity_ = h ^ (h >> 29);
}

TKbToken::TKbToken(const IReteToken& Parent, const IFact& Fact)
    : TKbToken(Parent, Snapshot(Fact), ShareSnapshot) {}

TKbToken::TKbToken(const IReteToken& Parent, const IFact& Snapshot, TShareSnapshot)
    : Fact_(Snapshot), Parent_(Parent) {
  if (!Snapshot) KbError(SInvalidTokenAction);
  if (Parent && Parent->Fact_) {
    Count_ = Parent->Count_ + 1;
    SortCode_ = ExtendSortCode(Parent->SortCode_, *Snapshot);
    Identity_ = ExtendIdentity(Parent->Identity_, *Snapshot);
    Tag_ = Parent->Tag_;
  } else {
    // Extending nothing (or an empty token) starts a chain.
    Parent_ = nullptr;
    Count_ = 1;
    SortCode_ = Snapshot->GetID();
    Identity_ = ExtendIdentity(IdentitySeed, *Snapshot);
    Tag_ = Parent ? Parent->Tag_ : taAdd;
    if (Tag_ == taClear) Tag_ = taAdd;
  }
}

TKbToken::TKbToken(const TKbToken& Token)
    : TInterfacedPersistent(),
      Fact_(Token.Fact_),
      Parent_(Token.Parent_),
      Identity_(Token.Identity_),
      Count_(Token.Count_),
      SortCode_(Token.SortCode_),
      Tag_(Token.Tag_) {}

void TKbToken::Assign(const TPersistent* Source) {
  auto* src = dynamic_cast<const TKbToken*>(Source);
  if (!src) {
    TPersistent::Assign(Source);
    return;
  }
  if (src == this) return;
  Fact_ = src->Fact_;
  Parent_ = src->Parent_;
  // The array after this token described the old chain.
  Facts_ = nullptr;
  Identity_ = src->Identity_;
  Count_ = src->Count_;
  NegatedCount_ = src->NegatedCount_;
  SortCode_ = src->SortCode_;
  Tag_ = src->Tag_;
}

bool TKbToken::Equals(const TKbToken* Token) const noexcept {
  const TKbToken* a = this;
  const TKbToken* b = Token;
  if (!b || a->Count_ != b->Count_) return a == b;
  for (;;) {
    if (a == b) return true;
    if (a->SortCode_ != b->SortCode_) return false;
    const TFact* fa = a->Fact_.get();
    const TFact* fb = b->Fact_.get();
    if (fa != fb && (!fa || !fb || fa->GetID() != fb->GetID())) return false;
    // Equal counts: both chains end here together.
    if (!a->Parent_) return true;
    a = a->Parent_.get();
    b = b->Parent_.get();
  }
}

void TKbToken::SetTag(TTokenAction Action) {
  if (Action == Tag_) return;
  if (!Fact_ && Action != taClear) KbError(SInvalidTokenAction);
  Tag_ = Action;
}

std::string TKbToken::GetToString() const {
  std::string r = EnumName(Tag_);
  r += ' ';
  r += IntToStr(Count_);
  for (const TKbToken* t = this; t && t->Fact_; t = t->Parent_.get()) {
    r += NewLineString;
    r += t->Fact_->GetToString();
  }
  return r;
}

std::string TKbToken::GetToFactsString() const {
  std::vector<int32_t> ids;
  ids.reserve(static_cast<size_t>(Count_));
  for (const TKbToken* t = this; t && t->Fact_; t = t->Parent_.get())
    ids.push_back(t->Fact_->GetID());
  std::string r;
  for (auto it = ids.rbegin(); it != ids.rend(); ++it) {
    if (!r.empty()) r += ", ";
    r += "f-";
    r += IntToStr(*it);
  }
  return r;
}

// --------------------------------------------------------------- memories

TKbTokenTree::TKbTokenTree(int32_t HashSize, int32_t TokenIndex, int32_t SubIndex,
                           std::string SlotName, bool UseSortCode)
    : Buckets_(static_cast<size_t>(HashSize < 1 ? 1 : HashSize)),
      Slot_(std::move(SlotName)),
      TokenIndex_(TokenIndex),
      SubIndex_(SubIndex),
      UseSortCode_(UseSortCode) {}

int32_t TKbTokenTree::KeyOfValue(const IKbValue* Value, int32_t SubIndex) {
  if (SubIndex != NoSubIndex) Value = ListElement(Value, SubIndex);
  return Value && *Value ? (*Value)->GetHashCode() : 0;
}

int32_t TKbTokenTree::KeyOf(const TKbToken& Token) const {
  if (UseSortCode_) return Token.GetSortCode();
  const TFact* f = Token.FactAt(TokenIndex_);
  if (!f) return 0;
  if (Slot_.GetName().empty()) return f->GetID();
  return KeyOfValue(Slot_.Get(*f), SubIndex_);
}

bool TKbTokenTree::Add(const IReteToken& Token) {
  if (!Token) return false;
  TBucket& b = Buckets_[BucketOf(KeyOf(*Token))];
  const int32_t code = Token->GetSortCode();
  for (const IReteToken& t : b)
    if (t->GetSortCode() == code && t->Equals(Token)) return false;
  b.push_back(Token);
  ++Count_;
  Empty_ = false;
  return true;
}

bool TKbTokenTree::Remove(const IReteToken& Token) {
  if (!Token) return false;
  TBucket& b = Buckets_[BucketOf(KeyOf(*Token))];
  const int32_t code = Token->GetSortCode();
  for (auto it = b.begin(); it != b.end(); ++it) {
    if ((*it)->GetSortCode() == code && (*it)->Equals(Token)) {
      // Erasing keeps the order of the others: joins walk buckets in order,
      // and that order becomes the order of activations.
      b.erase(it);
      --Count_;
      return true;
    }
  }
  return false;
}

void TKbTokenTree::Clear() {
  if (Empty_) return;
  for (TBucket& b : Buckets_) b.clear();
  Count_ = 0;
  Empty_ = true;
}

}  // namespace kb
