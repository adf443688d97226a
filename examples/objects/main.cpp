// A host whose own objects the rules read and write: orders, components of
// the application with published properties (amount, status, customer),
// which rules reach through the object package by name. Built with the
// project (target order_objects) and run by the test Examples.OrderObjects:
//   build/release/examples/objects/order_objects examples/objects/orders.clp
#include <cstdio>
#include <string>

#include "engine/Deducer.h"
#include "framework/TypInfo.h"

namespace {

enum TOrderStatus : uint8_t { osNew, osApproved, osReview, osRejected };
const char* const OrderStatusNames[] = {"osNew", "osApproved", "osReview", "osRejected"};

// The application's order. Nothing in it knows about rules.
class TOrder : public kb::TComponent {
 public:
  using kb::TComponent::TComponent;
  double GetAmount() const { return Amount_; }
  void SetAmount(double Value) { Amount_ = Value; }
  TOrderStatus GetStatus() const { return Status_; }
  void SetStatus(TOrderStatus Value) {
    if (Value != Status_)
      std::printf("host: %s is now %s\n", GetName().c_str(), OrderStatusNames[Value]);
    Status_ = Value;
  }
  const std::string& GetCustomer() const { return Customer_; }
  void SetCustomer(const std::string& Value) { Customer_ = Value; }

 private:
  double Amount_ = 0;
  TOrderStatus Status_ = osNew;
  std::string Customer_;
};

// The order's published properties: what rules see of it.
const kb::TClassRegistration<TOrder> OrderClass(
    "TOrder", "TComponent",
    {
        kb::Prop::Float<TOrder>("Amount", &TOrder::GetAmount, &TOrder::SetAmount, 0.0),
        kb::Prop::Enum<TOrder>("Status", &TOrder::GetStatus, &TOrder::SetStatus, OrderStatusNames,
                               4, std::optional<TOrderStatus>(osNew)),
        kb::Prop::Str<TOrder>("Customer", &TOrder::GetCustomer, &TOrder::SetCustomer),
    });

TOrder* NewOrder(kb::TComponent& Owner, const char* Name, const char* Customer, double Amount) {
  auto* o = new TOrder(&Owner);
  o->SetName(Name);
  o->SetCustomer(Customer);
  o->SetAmount(Amount);
  return o;
}

}  // namespace

int main(int argc, char** argv) {
  // The application: orders and the engine, all owned by one root.
  kb::TComponent app;
  app.SetName("app");
  auto* engine = new kb::TDeducer(&app);
  engine->SetName("engine");
  engine->OnPrintOut = [](kb::TPersistent*, const std::string&, const std::string& Text) {
    for (char c : Text)
      if (c != '\r') std::putchar(c);
  };
  NewOrder(app, "order1", "acme", 120.0);
  NewOrder(app, "order2", "bob", 4800.0);
  NewOrder(app, "order3", "carol", 75.5);
  try {
    if (!engine->LoadFromFile(argc > 1 ? argv[1] : "orders.clp")) return 1;
    engine->Reset();
    // The host tells the rules which orders were placed.
    for (int i = 0; i < app.GetComponentCount(); ++i)
      if (auto* o = dynamic_cast<TOrder*>(app.GetComponent(i)))
        engine->Assert("(placed " + o->GetName() + ")");
    std::printf("fired %d\n", engine->Run());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "error: %s\n", e.what());
    return 1;
  }
  // What the rules decided, read back by the host from its own objects.
  for (int i = 0; i < app.GetComponentCount(); ++i)
    if (auto* o = dynamic_cast<TOrder*>(app.GetComponent(i)))
      std::printf("%s %s %.2f %s\n", o->GetName().c_str(), o->GetCustomer().c_str(), o->GetAmount(),
                  OrderStatusNames[o->GetStatus()]);
  return 0;
}
