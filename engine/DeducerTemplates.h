// The engine's fact templates and fact sets (TDeducer::FactTemplates,
// TDeducer::FactSets) and the part of the engine that keeps them
// (TDeducerTemplates). Copying templates from another engine is defined
// with the persistence (engine/DeducerPersistence.cpp).
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/KbInterfaces.h"
#include "framework/Classes.h"
#include "framework/Collections.h"
#include "memory/KbFacts.h"
#include "memory/KbFactsSets.h"

namespace kb {

class TDeducer;

// The engine's templates by name, in definition order.
class TFactTemplates : public TPersistent {
 public:
  explicit TFactTemplates(TDeducer* Engine) : Engine_(Engine) {}
  TFactTemplates(const TFactTemplates&) = delete;
  TFactTemplates& operator=(const TFactTemplates&) = delete;
  TDeducer* GetEngine() const { return Engine_; }

  void Add(const IFactTemplate& Template);
  // Stores Template under Name. A template without slots first gets the
  // multislot "__Data". A different template already stored under Name is
  // handled by the engine's DuplicateConstructs policy: dcError raises
  // SDuplicateTemplateNames, dcIgnore keeps the stored one, dcOverwrite
  // replaces it, removing what depends on it; an equal definition is
  // assigned into the stored template instead, which stays (with its facts
  // and rules).
  void Put(const std::string& Name, const IFactTemplate& Template);
  void SetItem(const std::string& Name, const IFactTemplate& Template) { Put(Name, Template); }
  // Removes the entry and everything that depends on its template.
  void Remove(std::string_view Name);
  void Clear();
  IFactTemplate Get(std::string_view Name) const;
  IFactTemplate GetItem(std::string_view Name) const { return Get(Name); }
  bool Contains(std::string_view Name) const { return Table_.Contains(Name); }
  size_t Count() const { return Table_.Count(); }
  // Every template's text followed by a line break, parents first.
  std::string GetToString() const;
  const TStringMap<IFactTemplate>& Entries() const { return Table_; }
  // The templates in an order that lists every parent before the templates
  // that extend it, otherwise in definition order.
  std::vector<IFactTemplate> InParentOrder() const;
  // Makes this table hold Source's templates: a template here that Source
  // lacks, or that differs from Source's namesake, is removed (with its
  // facts and rules); Source's templates are then copied in, each after its
  // parent. Templates of another engine are copied through this engine's
  // parser.
  void Assign(const TFactTemplates& Source);
  // Copies one template in: assigned into the template of its name here,
  // or added.
  void Assign(const IFactTemplate& Source);
  void Assign(const TPersistent* Source) override { AssignFrom(this, Source); }

 private:
  TDeducer* Engine_;
  TStringMap<IFactTemplate> Table_;
};

// Defining a fact set under a name in use, under dcError.
constexpr const char* SDuplicateFactSetNames = "Fact Set Name already exists: \"%s\"";

// The engine's fact sets, in definition order; not owned (a fact set is a
// component and leaves the list when it goes).
class TFactSets {
 public:
  explicit TFactSets(TDeducer* Engine) : Engine_(Engine) {}
  TFactSets(const TFactSets&) = delete;
  TFactSets& operator=(const TFactSets&) = delete;

  int Count() const { return static_cast<int>(Items_.size()); }
  // Adds when not present; returns the index either way.
  int Add(TFactSet* FactSet);
  // Installs a fact set read from text (a deffacts). Another fact set of
  // the same name is handled by the engine's DuplicateConstructs policy:
  // dcOverwrite puts the new one in its place (freeing the old one when the
  // engine owns it), dcIgnore keeps the old one and answers false (the new
  // one is not added), dcError raises SDuplicateFactSetNames.
  bool Define(TFactSet* FactSet);
  void Insert(int Index, TFactSet* FactSet);
  // Takes the fact set out of the list; returns its index or -1.
  int Remove(TFactSet* FactSet);
  TFactSet* GetItem(int Index) const;
  void SetItem(int Index, TFactSet* FactSet);
  int IndexOf(const TFactSet* FactSet) const;
  // The first fact set of that name, or -1.
  int IndexOf(std::string_view Name) const;
  void Clear() { Items_.clear(); }
  void Assign(const TFactSets& Source);
  // Every fact set's text, with nothing between them.
  std::string GetToString() const;
  const std::vector<TFactSet*>& Items() const { return Items_; }

 private:
  TDeducer* Engine_;
  std::vector<TFactSet*> Items_;
};

// The engine's templates and fact sets: what TDeducer's template and fact
// set members do (they forward here). It owns the template table, the fact
// set list and the record of the templates the engine owns; the events
// (OnNewFactTemplate, OnRemoveFactTemplate, OnClearFactTemplates) stay the
// engine's, and what depends on a template (facts, rules) is the other
// parts' (TDeducer::RemoveTemplateDependencies).
class TDeducerTemplates {
 public:
  explicit TDeducerTemplates(TDeducer& Engine);
  TDeducerTemplates(const TDeducerTemplates&) = delete;
  TDeducerTemplates& operator=(const TDeducerTemplates&) = delete;
  ~TDeducerTemplates();

  // The table and the list come first in a new engine; Destroy frees them
  // and detaches the templates that survive (held by facts of the host):
  // they print and compare without the engine from then on.
  void Create();
  void Destroy();
  TFactTemplates& FactTemplates() { return *FactTemplates_; }
  TFactSets& FactSets() { return *FactSets_; }
  const TPersistent* FactTemplatesOrNull() const { return FactTemplates_.get(); }

  // The template of that name; created as an implied (ordered) template
  // when the engine has none.
  IFactTemplate CreateFactTemplate(const std::string& Name);
  void AddFactTemplate(const IFactTemplate& Template) { FactTemplates_->Add(Template); }
  // The template of that name, or nil.
  IFactTemplate FindFactTemplate(std::string_view Name) const;
  // Called by a template of this engine before it takes a new name: moves
  // it to the new key (removing what depended on it). A different template
  // holding the new name is replaced under dcOverwrite; otherwise the
  // rename is refused with SDuplicateTemplateNames before anything changes.
  void ChangeFactTemplateName(const std::string& OldName, const std::string& NewName);
  // The fact sets' part of a template leaving the engine: they forget the
  // facts read against it (unless it is only being renamed).
  void ForgetFactsOf(const IFactTemplate& Template);
  // Set while a template or rule moves to a new key of its table.
  bool GetUpdatingHT() const { return UpdatingHT_; }
  void SetUpdatingHT(bool Value) { UpdatingHT_ = Value; }
  void AddFactSet(TFactSet* FactSet) { FactSets_->Add(FactSet); }
  void RemoveFactSet(TFactSet* FactSet) { FactSets_->Remove(FactSet); }

  // Templates whose owner is the engine register here, so that the engine
  // can detach the survivors when it goes.
  void AttachTemplate(TFactTemplate* Template) { OwnedTemplates_.push_back(Template); }
  void DetachTemplate(TFactTemplate* Template);

 private:
  TDeducer& Engine_;
  std::unique_ptr<TFactTemplates> FactTemplates_;
  std::unique_ptr<TFactSets> FactSets_;
  std::vector<TFactTemplate*> OwnedTemplates_;
  bool UpdatingHT_ = false;
};

}  // namespace kb
