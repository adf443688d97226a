// Fact sets (deffacts): named lists of facts kept as CLIPS text (see
// memory/KbFacts.h).
#pragma once

#include <string>

#include "framework/Classes.h"
#include "memory/KbFactsFact.h"

namespace kb {

// ------------------------------------------------------------ fact sets

// The facts of a fact set: entry i is the CLIPS text of fact i, with the
// parsed fact cached beside it (nil until parsed).
class TFactSetFacts {
 public:
  explicit TFactSetFacts(TFactSet* FactSet) : FactSet_(FactSet) {}
  TFactSetFacts(const TFactSetFacts&) = delete;
  TFactSetFacts& operator=(const TFactSetFacts&) = delete;

  int Count() const noexcept { return static_cast<int>(Items_.size()); }
  const std::string& GetText(int Index) const;
  // Appends the fact's text with the fact; returns the index.
  int AddFact(const IFact& Fact);
  // The cached fact, parsed through the engine on first use.
  IFact GetFact(int Index);
  void SetFact(int Index, const IFact& Fact);
  int IndexOf(const IFact& Fact) const;
  // Deletes the entry of that fact; returns its index or -1.
  int Remove(const IFact& Fact);
  void Delete(int Index);
  void Clear() { Items_.clear(); }
  // The texts, one per entry.
  std::vector<std::string> GetStrings() const;
  // Replaces the entries with Texts, parsing each through the engine.
  void SetStrings(const std::vector<std::string>& Texts);
  // Clears Dest and adds every entry's fact in order.
  void AssignTo(TIList<TFact>& Dest);
  // Parses every entry's text again through the engine.
  void Reparse();
  // Drops the parsed facts of that template: they are parsed again from
  // their text when next asked for (the template was defined again).
  void ForgetFactsOf(const TFactTemplate* Template);

 private:
  struct TEntry {
    std::string Text;
    IFact Fact;
  };
  void CheckIndex(int Index) const;
  TFactSet* FactSet_;
  std::vector<TEntry> Items_;
};

class TFactSet : public TComponent {
 public:
  // Owned by Owner; when Owner is an engine, the set joins its fact sets.
  explicit TFactSet(TComponent* AOwner);
  ~TFactSet() override;

  const std::string& GetComment() const noexcept { return Comment_; }
  void SetComment(const std::string& Value) { Comment_ = Value; }
  const TKbName& GetFactSetName() const noexcept { return FactSetName_; }
  void SetFactSetName(const std::string& Value) { FactSetName_ = Value; }
  TFactCatalog* GetEngine() const noexcept { return Engine_; }
  // Leaves the old engine's fact sets, joins the new one's and parses
  // every fact text again through it.
  virtual void SetEngine(TFactCatalog* Value);
  TFactSetFacts& GetFacts() noexcept { return Facts_; }
  const TFactSetFacts& GetFacts() const noexcept { return Facts_; }
  // The texts of the facts; setting replaces them and parses each.
  std::vector<std::string> GetFactStrings() const { return Facts_.GetStrings(); }
  void SetFacts(const std::vector<std::string>& Texts) { Facts_.SetStrings(Texts); }
  virtual int AddFact(const IFact& Fact) { return Facts_.AddFact(Fact); }
  // Asserts a clone of each fact into the engine, in order (defined with
  // the engine's fact base).
  virtual void Reset();

  // From a TFactSet: comment, name and clones of its facts.
  void Assign(const TPersistent* Source) override;
  // A new fact set of Owner assigned from this one.
  TFactSet* Clone(TComponent* Owner) const;
  virtual std::string GetToString();
  // "(deffacts name "comment" ...facts...)".
  std::string GetDefaultText();

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  std::string Comment_;
  TFactCatalog* Engine_ = nullptr;
  TKbName FactSetName_ = "FactSet";
  TFactSetFacts Facts_{this};
};

}  // namespace kb
