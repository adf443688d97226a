// Component files (framework/ComponentStream.h), through nlohmann::json.
#include "framework/ComponentStream.h"

#include <cmath>
#include <nlohmann/json.hpp>
#include <utility>
#include <vector>

#include "framework/Streams.h"
#include "framework/TypInfo.h"

namespace kb {

namespace {

using TJson = nlohmann::ordered_json;

constexpr const char* FormatName = "deducer-component";
constexpr int FormatVersion = 1;

// The place of an object in the file, for messages: its class and name,
// and those of its owners.
std::string PlaceOf(const std::string& Parent, const std::string& Class, const std::string& Name) {
  std::string r = Parent;
  if (!r.empty()) r += " > ";
  r += Class;
  if (!Name.empty()) r += " \"" + Name + "\"";
  return r;
}

[[noreturn]] void FileError(const std::string& Place, const std::string& What) {
  throw EComponentFileError("Component file, at " + Place + ": " + What);
}

// ------------------------------------------------------------------ writing

class TJsonWriter final : public TWriter {
 public:
  explicit TJsonWriter(TJson& Out) : Out_(Out) {}
  void WriteString(const std::string& S) override { Out_.push_back(S); }
  void WriteInteger(int64_t I) override { Out_.push_back(I); }

 private:
  TJson& Out_;
};

class TWritingFiler final : public TFiler {
 public:
  explicit TWritingFiler(TJson& Data) : Data_(Data) {}
  void DefineProperty(const std::string& Name, const std::function<void(TReader&)>&,
                      const std::function<void(TWriter&)>& WriteData, bool HasData) override {
    if (!HasData || !WriteData) return;
    TJson items = TJson::array();
    TJsonWriter w(items);
    WriteData(w);
    Data_[Name] = std::move(items);
  }

 private:
  TJson& Data_;
};

TJson PropertyJson(const TPersistent* Object, const TPropInfo& P) {
  switch (P.Kind) {
    case TPropKind::Integer: return GetOrdProp(Object, P);
    case TPropKind::Char:
    case TPropKind::String: return GetStrProp(Object, P);
    case TPropKind::Enumeration: return GetEnumProp(Object, P);
    case TPropKind::Float: {
      double d = GetFloatProp(Object, P);
      if (!std::isfinite(d))
        throw EComponentFileError("Cannot write property " + P.Name + ": " + FloatToStr(d) +
                                  " has no JSON form");
      return d;
    }
    case TPropKind::Set: {
      TJson names = TJson::array();
      for (const std::string& n : SetMemberNames(P, GetOrdProp(Object, P))) names.push_back(n);
      return names;
    }
    case TPropKind::Class: {
      TPersistent* o = GetObjectProp(Object, P);
      if (!o) return nullptr;
      auto* c = dynamic_cast<TComponent*>(o);
      if (!c || c->GetName().empty())
        throw EComponentFileError("Cannot write property " + P.Name +
                                  ": it refers to an object without a component name");
      return c->GetName();
    }
    case TPropKind::Method: break;
  }
  return nullptr;
}

TJson ObjectJson(const TPersistent* Object, const TWriteFilter& Filter) {
  const TPersistentClass* cls = ClassOf(Object);
  if (!cls)
    throw EComponentFileError("Cannot write an object of unregistered class " +
                              Object->ClassName());
  TJson j = TJson::object();
  j["class"] = cls->Name;
  auto* component = dynamic_cast<const TComponent*>(Object);
  if (component && !component->GetName().empty()) j["name"] = component->GetName();
  TJson props = TJson::object();
  const std::vector<const TPropInfo*> list = GetPropList(cls);
  for (const TPropInfo* p : list) {
    if (!p->Stored || p->Kind == TPropKind::Method || p->Owned || p->IsReadOnly()) continue;
    if (p->IsDefault && p->IsDefault(Object)) continue;
    props[p->Name] = PropertyJson(Object, *p);
  }
  // The parts after the settings, which they may need to be read; a part
  // with nothing to say is left out.
  for (const TPropInfo* p : list) {
    if (!p->Stored || !p->Owned) continue;
    const TPersistent* part = GetObjectProp(Object, *p);
    if (!part) continue;
    TJson j = ObjectJson(part, Filter);
    if (j.size() > 1) props[p->Name] = std::move(j);
  }
  if (!props.empty()) j["properties"] = std::move(props);
  TJson data = TJson::object();
  TWritingFiler filer(data);
  DefineProperties(const_cast<TPersistent*>(Object), filer);
  if (!data.empty()) j["data"] = std::move(data);
  if (component) {
    TJson children = TJson::array();
    for (int i = 0; i < component->GetComponentCount(); ++i) {
      const TComponent* child = component->GetComponent(i);
      if (!ClassOf(child)) continue;
      if (Filter && !Filter(component, child)) continue;
      children.push_back(ObjectJson(child, Filter));
    }
    if (!children.empty()) j["components"] = std::move(children);
  }
  return j;
}

// ------------------------------------------------------------------ reading

class TJsonReader final : public TReader {
 public:
  TJsonReader(const TJson& Items, std::string Place) : Items_(Items), Place_(std::move(Place)) {}
  bool EndOfList() override { return Next_ >= Items_.size(); }
  std::string ReadString() override {
    const TJson& item = Take("a string");
    if (!item.is_string()) Wrong("a string");
    return item.get<std::string>();
  }
  int64_t ReadInteger() override {
    const TJson& item = Take("an integer");
    if (!item.is_number_integer()) Wrong("an integer");
    if (item.is_number_unsigned() && item.get<uint64_t>() > uint64_t{INT64_MAX})
      Wrong("an integer");
    return item.get<int64_t>();
  }
  size_t Index() const { return Next_; }

 private:
  const TJson& Take(const char* Wanted) {
    if (Next_ >= Items_.size())
      FileError(Place_, Format("item %d missing (%s expected)", Next_, Wanted));
    return Items_[Next_++];
  }
  [[noreturn]] void Wrong(const char* Wanted) {
    FileError(Place_,
              Format("item %d is %s, not %s", Next_ - 1, Items_[Next_ - 1].type_name(), Wanted));
  }
  const TJson& Items_;
  std::string Place_;
  size_t Next_ = 0;
};

class TReadingFiler final : public TFiler {
 public:
  TReadingFiler(const TJson* Data, std::string Place) : Data_(Data), Place_(std::move(Place)) {}
  void DefineProperty(const std::string& Name, const std::function<void(TReader&)>& ReadData,
                      const std::function<void(TWriter&)>&, bool) override {
    Defined_.push_back(Name);
    if (!Data_ || !ReadData) return;
    auto it = Data_->find(Name);
    if (it == Data_->end()) return;
    std::string place = Place_ + " > data " + Name;
    if (!it->is_array()) FileError(place, std::string("an array expected, not ") + it->type_name());
    TJsonReader r(*it, place);
    try {
      ReadData(r);
    } catch (const EComponentFileError&) {
      throw;
    } catch (const EAbort&) {
      throw;
    } catch (const std::exception& e) {
      FileError(Format("%s, item %d", place, r.Index() == 0 ? 0 : r.Index() - 1), e.what());
    }
    if (!r.EndOfList()) FileError(place, Format("unexpected item %d", r.Index()));
  }
  // Raises for data the class does not define.
  void CheckAllKnown() const {
    if (!Data_) return;
    for (auto it = Data_->begin(); it != Data_->end(); ++it) {
      bool known = false;
      for (const std::string& n : Defined_) known = known || n == it.key();
      if (!known) FileError(Place_, "unknown data \"" + it.key() + "\"");
    }
  }

 private:
  const TJson* Data_;
  std::string Place_;
  std::vector<std::string> Defined_;
};

class TObjectReader {
 public:
  // Components read, in order, for Loaded.
  std::vector<TComponent*> Loaded;

  // Creates the object J describes (owned by Owner) and reads it.
  TPersistent* Create(const TJson& J, TComponent* Owner, const std::string& ParentPlace) {
    const TPersistentClass* cls = ClassOfJson(J, ParentPlace);
    std::string place = PlaceOf(ParentPlace, cls->Name, NameOf(J, ParentPlace));
    if (!cls->Create) FileError(place, "class " + cls->Name + " cannot be created");
    if (Owner && !cls->IsComponent)
      FileError(place, "class " + cls->Name + " is not a component and cannot be owned");
    TPersistent* object = nullptr;
    try {
      object = cls->Create(Owner);
    } catch (const EAbort&) {
      throw;
    } catch (const std::exception& e) {
      FileError(place, e.what());
    }
    if (!object) FileError(place, "class " + cls->Name + " cannot be created");
    // What was read of it goes with it on error (its owned components too).
    try {
      Read(J, object, cls, ParentPlace);
    } catch (...) {
      delete object;
      throw;
    }
    return object;
  }

  // Reads J into Object, which is of class Cls.
  void Read(const TJson& J, TPersistent* Object, const TPersistentClass* Cls,
            const std::string& ParentPlace) {
    std::string name = NameOf(J, ParentPlace);
    std::string place = PlaceOf(ParentPlace, Cls->Name, name);
    for (auto it = J.begin(); it != J.end(); ++it) {
      const std::string& k = it.key();
      if (k != "class" && k != "name" && k != "properties" && k != "data" && k != "components")
        FileError(place, "unknown key \"" + k + "\"");
    }
    auto* component = dynamic_cast<TComponent*>(Object);
    if (component) {
      component->SetLoading(true);
      Loaded.push_back(component);
      if (!name.empty()) Guarded(place, [&] { component->SetName(name); });
    } else if (!name.empty()) {
      FileError(place, "an object that is not a component has no name");
    }
    if (auto it = J.find("properties"); it != J.end()) {
      if (!it->is_object())
        FileError(place, std::string("properties: an object expected, not ") + it->type_name());
      // The settings first, then the parts in the order the class lists
      // them (a part may need the settings, and a later part an earlier).
      std::vector<std::pair<const TPropInfo*, const TJson*>> parts;
      for (auto p = it->begin(); p != it->end(); ++p) {
        const TPropInfo* info = FindPropInfo(Cls, p.key());
        if (info && info->Owned)
          parts.emplace_back(info, &p.value());
        else
          ReadProperty(Object, Cls, p.key(), p.value(), place);
      }
      for (const TPropInfo* info : GetPropList(Cls))
        for (const auto& [part, value] : parts)
          if (part == info) ReadPart(Object, *info, *value, place);
    }
    const TJson* data = nullptr;
    if (auto it = J.find("data"); it != J.end()) {
      if (!it->is_object())
        FileError(place, std::string("data: an object expected, not ") + it->type_name());
      data = &*it;
    }
    TReadingFiler filer(data, place);
    Guarded(place, [&] { DefineProperties(Object, filer); });
    filer.CheckAllKnown();
    if (auto it = J.find("components"); it != J.end()) {
      if (!it->is_array())
        FileError(place, std::string("components: an array expected, not ") + it->type_name());
      if (!component && !it->empty())
        FileError(place, "an object that is not a component owns none");
      for (const TJson& child : *it) Create(child, component, place);
    }
  }

  const TPersistentClass* ClassOfJson(const TJson& J, const std::string& ParentPlace) {
    std::string place = ParentPlace.empty() ? std::string("the top") : ParentPlace;
    if (!J.is_object()) FileError(place, std::string("an object expected, not ") + J.type_name());
    auto it = J.find("class");
    if (it == J.end() || !it->is_string()) FileError(place, "an object without a \"class\" string");
    const TPersistentClass* cls = GetClass(it->get<std::string>());
    if (!cls) FileError(place, "unknown class " + it->get<std::string>());
    return cls;
  }

 private:
  static std::string NameOf(const TJson& J, const std::string& ParentPlace) {
    auto it = J.find("name");
    if (it == J.end()) return std::string();
    if (!it->is_string())
      FileError(ParentPlace.empty() ? "the top" : ParentPlace, "a name that is not a string");
    return it->get<std::string>();
  }

  template <class F>
  static void Guarded(const std::string& Place, F&& Body) {
    try {
      Body();
    } catch (const EComponentFileError&) {
      throw;
    } catch (const EAbort&) {
      throw;
    } catch (const std::exception& e) {
      FileError(Place, e.what());
    }
  }

  void ReadProperty(TPersistent* Object, const TPersistentClass* Cls, const std::string& Name,
                    const TJson& V, const std::string& Place) {
    std::string place = Place + " > property " + Name;
    const TPropInfo* p = FindPropInfo(Cls, Name);
    if (!p) FileError(place, "unknown property of class " + Cls->Name);
    if (p->Kind == TPropKind::Method) FileError(place, "an event has no value to read");
    if (p->IsReadOnly()) FileError(place, "the property is read-only");
    auto wrong = [&](const char* Wanted) {
      FileError(place, Format("%s expected for a property of kind %s, not %s", Wanted,
                              PropKindName(p->Kind), V.type_name()));
    };
    Guarded(place, [&] {
      switch (p->Kind) {
        case TPropKind::Integer:
          if (!V.is_number_integer() ||
              (V.is_number_unsigned() && V.get<uint64_t>() > uint64_t{INT64_MAX}))
            wrong("an integer");
          SetOrdProp(Object, *p, V.get<int64_t>());
          break;
        case TPropKind::Char:
        case TPropKind::String:
          if (!V.is_string()) wrong("a string");
          SetStrProp(Object, *p, V.get<std::string>());
          break;
        case TPropKind::Enumeration:
          if (!V.is_string()) wrong("a value name");
          SetEnumProp(Object, *p, V.get<std::string>());
          break;
        case TPropKind::Float:
          if (!V.is_number()) wrong("a number");
          SetFloatProp(Object, *p, V.get<double>());
          break;
        case TPropKind::Set: {
          if (!V.is_array()) wrong("an array of value names");
          int64_t bits = 0;
          for (const TJson& m : V) {
            if (!m.is_string()) wrong("an array of value names");
            bits |= int64_t{1} << EnumValueOf(*p, m.get<std::string>());
          }
          SetOrdProp(Object, *p, bits);
          break;
        }
        case TPropKind::Class: {
          if (V.is_null()) {
            SetObjectProp(Object, *p, nullptr);
            break;
          }
          if (!V.is_string()) wrong("a component name");
          TComponent* found = FindByName(Object, V.get<std::string>());
          if (!found) FileError(place, "no component named " + V.get<std::string>());
          SetObjectProp(Object, *p, found);
          break;
        }
        case TPropKind::Method: break;
      }
    });
  }

  // Reads V into the part the property holds.
  void ReadPart(TPersistent* Object, const TPropInfo& P, const TJson& V, const std::string& Place) {
    std::string place = Place + " > property " + P.Name;
    if (!V.is_object())
      FileError(place, std::string("an object expected for a part, not ") + V.type_name());
    TPersistent* part = GetObjectProp(Object, P);
    const TPersistentClass* cls = ClassOfJson(V, place);
    const TPersistentClass* have = part ? ClassOf(part) : nullptr;
    if (!have) FileError(place, "the object has no part to read into");
    if (!have->InheritsFrom(cls))
      FileError(place, "a " + cls->Name + " cannot be read into the " + have->Name +
                           " the property holds");
    Read(V, part, have, place);
  }

  // A component named Name: the object's owners, or owned by one of them.
  static TComponent* FindByName(TPersistent* Object, const std::string& Name) {
    auto* c = dynamic_cast<TComponent*>(Object);
    for (TComponent* o = c ? c->GetOwner() : nullptr; o; o = o->GetOwner()) {
      if (SameText(o->GetName(), Name)) return o;
      if (TComponent* f = o->FindComponent(Name)) return f;
    }
    return nullptr;
  }
};

TJson ParseText(std::string_view Text) {
  TJson j;
  try {
    j = TJson::parse(Text);
  } catch (const TJson::parse_error& e) {
    throw EComponentFileError(
        Format("Component file is not valid JSON at byte %s: %s", e.byte, e.what()));
  }
  if (!j.is_object()) FileError("the top", std::string("an object expected, not ") + j.type_name());
  auto f = j.find("format");
  if (f == j.end() || !f->is_string() || f->get<std::string>() != FormatName)
    FileError("the top",
              std::string("not a component file (\"format\" is not \"") + FormatName + "\")");
  auto v = j.find("version");
  if (v == j.end() || !v->is_number_integer() || v->get<int64_t>() != FormatVersion)
    FileError("the top", Format("unsupported version (this reads version %d)", FormatVersion));
  auto o = j.find("object");
  if (o == j.end()) FileError("the top", "no \"object\"");
  for (auto it = j.begin(); it != j.end(); ++it)
    if (it.key() != "format" && it.key() != "version" && it.key() != "object")
      FileError("the top", "unknown key \"" + it.key() + "\"");
  return std::move(*o);
}

void CallLoaded(const std::vector<TComponent*>& Components) {
  for (TComponent* c : Components) c->Loaded();
}

}  // namespace

std::string WritePersistentText(const TPersistent* Object, const TWriteFilter& Filter) {
  if (!Object) throw EComponentFileError("No object to write");
  TJson j = TJson::object();
  j["format"] = FormatName;
  j["version"] = FormatVersion;
  j["object"] = ObjectJson(Object, Filter);
  try {
    return j.dump(2) + "\n";
  } catch (const TJson::type_error& e) {
    // Text that is not UTF-8 has no JSON form; nothing is written.
    throw EComponentFileError(std::string("Cannot write the component file: ") + e.what());
  }
}

TPersistent* ReadPersistentText(std::string_view Text, TComponent* Owner) {
  TJson j = ParseText(Text);
  TObjectReader reader;
  TPersistent* object = reader.Create(j, Owner, std::string());
  try {
    CallLoaded(reader.Loaded);
  } catch (...) {
    delete object;
    throw;
  }
  return object;
}

void ReadPersistentInto(std::string_view Text, TPersistent* Object) {
  if (!Object) throw EComponentFileError("No object to read into");
  TJson j = ParseText(Text);
  TObjectReader reader;
  const TPersistentClass* cls = reader.ClassOfJson(j, std::string());
  const TPersistentClass* have = ClassOf(Object);
  if (!have || !have->InheritsFrom(cls))
    FileError("the top", "a " + cls->Name + " cannot be read into a " +
                             (have ? have->Name : Object->ClassName()));
  reader.Read(j, Object, have, std::string());
  CallLoaded(reader.Loaded);
}

namespace {

// The length of the JSON object Text starts with (after blanks), counting
// braces outside strings; the whole text when it does not close, so that
// the parser reports what is wrong.
size_t FirstObjectLength(std::string_view Text) {
  int depth = 0;
  bool inString = false;
  for (size_t i = 0; i < Text.size(); ++i) {
    const char c = Text[i];
    if (inString) {
      if (c == '\\')
        ++i;
      else if (c == '"')
        inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '{') {
      ++depth;
    } else if (c == '}' && --depth == 0) {
      return i + 1;
    } else if (depth == 0 && c != ' ' && c != '\t' && c != '\r' && c != '\n') {
      break;
    }
  }
  return Text.size();
}

}  // namespace

void WritePersistent(TStream& Stream, const TPersistent* Instance) {
  Stream.WriteString(WritePersistentText(Instance));
}

TPersistent* ReadPersistent(TStream& Stream) {
  const int64_t start = Stream.GetPosition();
  const std::string rest = Stream.ReadAll();
  const size_t length = FirstObjectLength(rest);
  try {
    TPersistent* object = ReadPersistentText(std::string_view(rest).substr(0, length));
    Stream.SetPosition(start + static_cast<int64_t>(length));
    return object;
  } catch (...) {
    Stream.SetPosition(start);
    throw;
  }
}

}  // namespace kb
