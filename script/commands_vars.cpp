// Variable, property, object and cabinet commands: evaluating an expression for its effect,
// declaring and deleting variables, reading and writing one property of a named object,
// deleting an object, starting a property motion, and parking objects of the back layer in a
// cabinet and bringing them back.
#include "objects/vitems.h"
#include "objects/vitems_kinds.h"
#include "script/callman.h"
#include "script/commands_objects.h"
#include "script/pages.h"
#include "script/params_props.h"
#include "script/params_vars.h"

#include <algorithm>
#include <unordered_set>
#include <vector>

namespace {

TParamCollection& Vars() {
    if (!ParamMan) throw EVelaError("内部エラー");
    return *ParamMan;
}

// A command on the object an expression names.
class TComOnObject : public TCommand {
public:
    using TCommand::TCommand;

protected:
    // The object the expression names; nullptr when none.
    static TVelaObject* FindNamed(TVelaParser& Name) { return SceneRoot().FindObject(RunStr(Name)); }
};

// Field: expression.
class TComCalc : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return cmCalc; }
    void LoadFromStream(TStream& Stream) override {
        TCommand::LoadFromStream(Stream);
        ReadExpression(Stream, expression_);
    }
    void Execute(TCallMan& /*Runner*/, TPage*& /*Page*/, int32_t& PC) override {
        ++PC;
        expression_.Execute();
    }

private:
    TVelaParser expression_;
};

// Fields: string name; u8 type; initial-value expression; u8 scope (0 global, 1 discarded with
// the calling level, 2 local to it, 3 status).
class TComVarNew : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return cmVarNew; }
    void LoadFromStream(TStream& Stream) override {
        TCommand::LoadFromStream(Stream);
        name_ = ReadString(Stream);
        type_ = ReadStreamByte(Stream);
        ReadExpression(Stream, value_);
        scope_ = ReadStreamByte(Stream);
    }
    void Execute(TCallMan& Runner, TPage*& /*Page*/, int32_t& PC) override;

private:
    TParamCollectionItem& Declare(int32_t Level);

    std::string name_;
    uint8_t type_ = PT_INT, scope_ = 0;
    TVelaParser value_;
};

TParamCollectionItem& TComVarNew::Declare(int32_t Level) {
    TParamCollectionItem& item = Vars().AddParam(type_);
    // Scoped before it is named, so that it joins the lookup's group of its scope at once.
    if (scope_ == VS_AUTO || scope_ == VS_LOCAL) item.SetOwnerId(Level);
    item.SetLocal(scope_ == VS_LOCAL);
    item.SetStatus(scope_ == VS_STATUS);
    try {
        item.SetName(name_);
    } catch (...) {
        Vars().Delete(item.Index());  // a refused name leaves no nameless variable behind
        throw;
    }
    return item;
}

void TComVarNew::Execute(TCallMan& Runner, TPage*& /*Page*/, int32_t& PC) {
    ++PC;
    if (name_.empty()) throw EVelaError("変数名がありません");
    TParamCollectionItem* item = Vars().FindScoped(name_, scope_ == VS_LOCAL);
    if (!item) item = &Declare(Runner.StackCount());
    else if (item->IsStatus()) return;  // a status variable keeps its value
    value_.Execute();
    const TCustomParam* value = value_.Result();
    if (!value) return;
    switch (type_) {
        case PT_INT: item->SetAsInt(value->AsInt()); break;
        case PT_FLOAT: item->SetAsFloat(value->AsFloat()); break;
        case PT_BOOL: item->SetAsBool(value->AsBool()); break;
        case PT_STR: item->SetAsStr(value->AsStr()); break;
        default: break;
    }
}

// Field: string name.
class TComVarDel : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return cmVarDel; }
    void LoadFromStream(TStream& Stream) override {
        TCommand::LoadFromStream(Stream);
        name_ = ReadString(Stream);
    }
    void Execute(TCallMan& /*Runner*/, TPage*& /*Page*/, int32_t& PC) override {
        ++PC;
        if (name_.empty()) return;
        TParamCollectionItem* item = Vars().Find(name_);
        if (item && !item->IsSystem()) Vars().Delete(item->Index());
    }

private:
    std::string name_;
};

// The property id an expression gives, as one byte.
uint8_t RunPropId(TVelaParser& Expression) {
    Expression.Execute();
    if (!Expression.Result()) throw EVelaError("プロパティ指定が不正です");
    return static_cast<uint8_t>(Expression.Result()->AsInt());
}

// Fields: object-name expression; property-id expression; string destination variable.
class TComGetProp : public TComOnObject {
public:
    using TComOnObject::TComOnObject;
    uint8_t GetOpcode() const override { return cmGetProp; }
    void LoadFromStream(TStream& Stream) override {
        TCommand::LoadFromStream(Stream);
        ReadExpression(Stream, object_);
        ReadExpression(Stream, id_);
        dest_ = TParamBinding(ReadString(Stream));
    }
    void Execute(TCallMan& /*Runner*/, TPage*& /*Page*/, int32_t& PC) override {
        ++PC;
        TVelaObject* obj = FindNamed(object_);
        if (!obj) return;
        const uint8_t id = RunPropId(id_);
        TParamCollectionItem* dest = dest_.Name().empty() ? nullptr : dest_.Get(Vars());
        if (dest) GetObjectProp(dest->Value(), *obj, id);
    }

private:
    TVelaParser object_, id_;
    TParamBinding dest_{""};  // looked up again only when the table says it may have changed
};

// Fields: object-name expression; property-id expression; value expression.
class TComSetProp : public TComOnObject {
public:
    using TComOnObject::TComOnObject;
    uint8_t GetOpcode() const override { return cmSetProp; }
    void LoadFromStream(TStream& Stream) override {
        TCommand::LoadFromStream(Stream);
        ReadExpression(Stream, object_);
        ReadExpression(Stream, id_);
        ReadExpression(Stream, value_);
    }
    void Execute(TCallMan& /*Runner*/, TPage*& /*Page*/, int32_t& PC) override {
        ++PC;
        TVelaObject* obj = FindNamed(object_);
        if (!obj) return;
        const uint8_t id = RunPropId(id_);
        value_.Execute();
        if (value_.Result()) SetObjectProp(*obj, id, *value_.Result());
    }

private:
    TVelaParser object_, id_, value_;
};

// Field: object-name expression. The layers are never deleted.
class TComObjDel : public TComOnObject {
public:
    using TComOnObject::TComOnObject;
    uint8_t GetOpcode() const override { return cmObjDel; }
    void LoadFromStream(TStream& Stream) override {
        TCommand::LoadFromStream(Stream);
        ReadExpression(Stream, object_);
    }
    void Execute(TCallMan& /*Runner*/, TPage*& /*Page*/, int32_t& PC) override {
        ++PC;
        const std::string name = RunStr(object_);
        TVelaObject* obj = name.empty() ? nullptr : SceneRoot().FindObject(name);
        if (obj && !dynamic_cast<TVelaBase*>(obj)) obj->Delete();
    }

private:
    TVelaParser object_;
};

// Paused expressions are stored from this page version on.
constexpr int32_t PausedMotionVersion = 108;

// Fields: motion-name, object-name, property-id, target-value, duration (ms) and easing
// expressions, and the paused expression (from page version 108). Makes a property motion; a
// part whose expression gives nothing keeps its default.
class TComPropMotion : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return cmPropMotion; }
    void LoadFromStream(TStream& Stream) override {
        TCommand::LoadFromStream(Stream);
        for (TVelaParser* expression : {&name_, &target_, &id_, &value_, &duration_, &easing_})
            ReadExpression(Stream, *expression);
        if (OwnerPage().Version >= PausedMotionVersion) ReadExpression(Stream, paused_);
    }
    void Execute(TCallMan& Runner, TPage*& Page, int32_t& PC) override;

private:
    TVelaParser name_, target_, id_, value_, duration_, easing_, paused_;
};

void TComPropMotion::Execute(TCallMan& /*Runner*/, TPage*& /*Page*/, int32_t& PC) {
    ++PC;
    auto* motion = dynamic_cast<TVelaPropMotion*>(SceneRoot().CreateObject(LT_PROPMOTION));
    if (!motion) return;
    if (const std::string name = RunStr(name_); !name.empty()) motion->SetName(name);
    if (const std::string target = RunStr(target_); !target.empty()) motion->SetTargetName(target);
    motion->SetPropId(RunPropId(id_));
    WithResult(value_, [motion](const TCustomParam& V) { motion->SetTargetValue(V.AsFloat()); });
    WithResult(duration_, [motion](const TCustomParam& V) { motion->SetMotionDuration(V.AsInt()); });
    WithResult(easing_, [motion](const TCustomParam& V) { motion->SetEasing(static_cast<uint8_t>(V.AsInt())); });
    WithResult(paused_, [motion](const TCustomParam& V) { motion->SetPaused(V.AsBool()); });
}

// Fields: the property expressions (only the name is used), mode expression, u32 count and the
// name expressions. A child is selected when its name is listed, or with mode true when it is not.
class TComCabinet : public TComComponent {
public:
    using TComComponent::TComComponent;
    void LoadFromStream(TStream& Stream) override {
        TComComponent::LoadFromStream(Stream);
        ReadExpression(Stream, mode_);
        ReadExpressionList(Stream, names_);
    }
    void Execute(TCallMan& /*Runner*/, TPage*& /*Page*/, int32_t& PC) override {
        ++PC;
        TVelaParser* name = PropExpression(PR_NAME);
        Move(name ? RunStr(*name) : std::string());
    }

protected:
    // The cabinet of that name; nullptr when no cabinet has it.
    static TVelaControl* FindCabinet(const std::string& Name) {
        TVelaObject* obj = SceneRoot().FindObject(Name);
        return obj && obj->GetCompoType() == LT_CABINET ? dynamic_cast<TVelaControl*>(obj) : nullptr;
    }
    static TVelaControl* BackLayer() { return SceneRoot().GetBase(SceneRoot().GetCurrentLayer() ^ 1); }
    // Moves the selected children of From, last first, under To (never To itself); a cabinet
    // left empty goes.
    void Transfer(TVelaControl& From, TVelaControl& To, TVelaControl& Cabinet) {
        std::unordered_set<std::string> listed;
        for (const auto& expression : names_) {
            expression->Execute();
            if (expression->Result()) listed.insert(expression->Result()->AsStr());
        }
        const bool mode = RunBool(mode_);
        for (int i = From.GetControlCount(); i-- > 0;) {
            TVelaControl* child = From.GetControl(i);
            const bool inList = listed.count(child->GetName()) > 0;
            if (child != &To && inList != mode) child->SetParent(&To);
        }
        if (Cabinet.GetControlCount() == 0) Cabinet.Delete();
    }

private:
    virtual void Move(const std::string& Name) = 0;

    TVelaParser mode_;
    std::vector<std::unique_ptr<TVelaParser>> names_;
};

// Parks the selected objects of the back layer in the named cabinet, made on layer 0 when
// there is none.
class TComCabinetSave : public TComCabinet {
public:
    explicit TComCabinetSave(TComList* Owner) : TComCabinet(Owner, cmSaveCabinet) {}

private:
    void Move(const std::string& Name) override {
        TVelaControl* cabinet = FindCabinet(Name);
        if (!cabinet) {
            cabinet = dynamic_cast<TVelaControl*>(SceneRoot().CreateObject(LT_CABINET));
            if (!cabinet) return;
            if (!Name.empty()) cabinet->SetName(Name);
            cabinet->SetParent(SceneRoot().GetBase(0));
        }
        Transfer(*BackLayer(), *cabinet, *cabinet);
    }
};

// Brings the selected objects of the named cabinet back onto the back layer.
class TComCabinetLoad : public TComCabinet {
public:
    explicit TComCabinetLoad(TComList* Owner) : TComCabinet(Owner, cmLoadCabinet) {}

private:
    void Move(const std::string& Name) override {
        TVelaControl* cabinet = Name.empty() ? nullptr : FindCabinet(Name);
        if (cabinet) Transfer(*cabinet, *BackLayer(), *cabinet);
    }
};

constexpr TCommandEntry Entries[] = {
    {cmCalc, NewCommand<TComCalc>},         {cmVarNew, NewCommand<TComVarNew>},
    {cmVarDel, NewCommand<TComVarDel>},     {cmGetProp, NewCommand<TComGetProp>},
    {cmSetProp, NewCommand<TComSetProp>},   {cmObjDel, NewCommand<TComObjDel>},
    {cmPropMotion, NewCommand<TComPropMotion>},
    {cmSaveCabinet, NewCommand<TComCabinetSave>}, {cmLoadCabinet, NewCommand<TComCabinetLoad>},
};

}  // namespace

std::span<const TCommandEntry> VarCommands() { return Entries; }
