#pragma once
// The base of the commands that make a scene object: one optional expression per property id,
// carried by the record when the page's mask for the command's opcode has the id's bit.
#include "script/commands.h"

#include <array>
#include <memory>

class TVelaBaseList;
class TVelaObject;

// The player's object root; EVelaError "内部エラー" when there is none.
TVelaBaseList& SceneRoot();
// A new object takes Name, freeing an older object of the root that bears it (renaming a control
// would keep the older one under another name). An empty name keeps the automatic name the
// object was made with ("object0", ...): an object without a name is never drawn.
void NameNewObject(TVelaObject& Obj, const std::string& Name);

class TComComponent : public TCommand {
public:
    // Creates an empty expression for each id whose bit the owner page's mask of Opcode has.
    TComComponent(TComList* Owner, uint8_t Opcode);
    uint8_t GetOpcode() const override { return opcode_; }
    // The base record, then the expressions in ascending id order.
    void LoadFromStream(TStream& Stream) override;

protected:
    // The expression of property Id; nullptr when the record carries none.
    TVelaParser* PropExpression(int Id) const { return props_[static_cast<size_t>(Id)].get(); }
    // Runs the expressions in display order into Obj's setters, defaults standing in for results
    // an expression does not give; then invalidates the object once.
    void ApplyComponentProperties(TVelaObject& Obj);

private:
    uint8_t opcode_;
    std::array<std::unique_ptr<TVelaParser>, PropCount> props_;
};

// The commands that make visual controls.
class TComControl : public TComComponent {
public:
    using TComComponent::TComComponent;
};
