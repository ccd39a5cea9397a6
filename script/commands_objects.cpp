// Object-creation commands: each makes one object of its kind under the object root and gives it
// the properties its record carries. A command of a kind the player does not have yet is
// refused, so that a page using it does not load.
#include "script/commands_objects.h"

#include "objects/vitemex_images.h"
#include "objects/vitemex_particle.h"
#include "objects/vitems.h"
#include "script/pages.h"
#include "script/params_props.h"

TVelaBaseList& SceneRoot() {
    if (!Bases) throw EVelaError("内部エラー");
    return *Bases;
}

void NameNewObject(TVelaObject& Obj, const std::string& Name) {
    if (Name.empty()) return;
    TVelaObject* older = Bases->GetObject(Bases->IndexOfName(Name));
    if (older && older != &Obj) older->Delete();
    Obj.SetName(Name);
}

// ---- TComComponent ----

TComComponent::TComComponent(TComList* Owner, uint8_t Opcode) : TCommand(Owner), opcode_(Opcode) {
    const TPropMask& mask = OwnerPage().Masks[opcode_ & 0x7F];
    for (int id = 0; id < PropCount; ++id)
        if (mask[static_cast<size_t>(id / 8)] & (1u << (id % 8))) props_[static_cast<size_t>(id)] = std::make_unique<TVelaParser>();
}

void TComComponent::LoadFromStream(TStream& Stream) {
    TCommand::LoadFromStream(Stream);
    for (auto& expression : props_)
        if (expression) ReadExpression(Stream, *expression);
}

namespace {

// What a property gets at creation when its expression gives no result.
std::unique_ptr<TCustomParam> DefaultProp(TPropId Id) {
    std::unique_ptr<TCustomParam> value = CreateParam(PropTypes[Id]);
    switch (Id) {
        case PR_COLOR: case PR_BORDERCOLOR: case PR_HOVERCOLOR: value->SetInt(-1); break;
        case PR_ALPHA: value->SetInt(255); break;
        case PR_FONTHEIGHT: value->SetInt(16); break;
        case PR_VOLUME: value->SetInt(1000); break;
        case PR_COLCOUNT: case PR_ROWCOUNT: case PR_AMP: case PR_SMALLCHANGE: case PR_LARGECHANGE:
        case PR_GLYPHWIDTH: case PR_GLYPHHEIGHT: value->SetInt(1); break;
        case PR_TEXTDELAY: value->SetInt(256); break;
        case PR_WAVELEN: value->SetInt(100); break;
        case PR_IMEMODE: value->SetInt(3); break;
        case PR_CAPMASKLEVEL: value->SetInt(128); break;
        case PR_VISIBLE: case PR_OVERLAY: case PR_FONTCHANGEABLED: value->SetBool(true); break;
        case PR_FLOATZOOMX: case PR_FLOATZOOMY: value->SetFloat(1); break;
        default: break;
    }
    return value;
}

// Ids a record may carry that creation passes over: read-only values and the particle's own
// expressions.
bool SkippedAtCreation(TPropId Id) {
    switch (Id) {
        case PR_CARETX: case PR_CARETY: case PR_CARETHEIGHT: case PR_APPEARX: case PR_APPEARY: case PR_PLAYING:
        case PR_COMPOTYPE: case PR_PLUSX: case PR_PLUSY: return true;
        default: return false;
    }
}

// An image whose zoom changed among the properties already applied takes its drawn size now,
// so that the left it is given places the new size.
void SettleImageSize(TVelaObject& Obj) {
    auto* image = dynamic_cast<TVelaCustomImage*>(&Obj);
    if (!image || !image->GetImageFlag() || !image->SizeFollowsPicture()) return;
    image->UpdateWidth();
    image->UpdateHeight();
}

}  // namespace

void TComComponent::ApplyComponentProperties(TVelaObject& Obj) {
    for (TPropId id : PropDisplayOrder) {
        TVelaParser* expression = PropExpression(id);
        if (!expression || SkippedAtCreation(id)) continue;
        expression->Execute();
        const TCustomParam* result = expression->Result();
        if (id == PR_PARENT) {
            // A missing or unnamed parent means the current layer, never the other one.
            const std::string name = result ? result->AsStr() : std::string();
            TVelaControl* parent = name.empty() ? nullptr : Bases->FindControl(name);
            Obj.SetParent(parent ? parent : Bases->GetBase(Bases->GetCurrentLayer()));
            continue;
        }
        if (id == PR_NAME) {
            NameNewObject(Obj, result ? result->AsStr() : std::string());
            continue;
        }
        if (id == PR_LEFT) SettleImageSize(Obj);
        if (result) SetObjectProp(Obj, id, *result);
        else if (id != PR_ZOOMX && id != PR_ZOOMY && id != PR_ANGLE) SetObjectProp(Obj, id, *DefaultProp(id));
    }
    Obj.Invalidate();
}

namespace {

// What a creation command does with the new object before its properties, and after them.
enum class TBefore { Nothing, CopyDelay, CopySpawn };
enum class TAfter { Nothing, PlayWhenDelayed, Open };

template <class Base, uint8_t Opcode, TObjectType Kind, TAfter After = TAfter::Nothing,
          TBefore Before = TBefore::Nothing>
class TComCreate : public Base {
public:
    explicit TComCreate(TComList* Owner) : Base(Owner, Opcode) {
        if (!ObjectKindExists(Kind)) throw UnsupportedCommand(Opcode);
    }

    void Execute(TCallMan& /*Runner*/, TPage*& /*Page*/, int32_t& PC) override {
        ++PC;
        TVelaObject* obj = SceneRoot().CreateObject(Kind);
        if (!obj) return;
        if constexpr (Before == TBefore::CopyDelay) CopyDelay(*obj);
        if constexpr (Before == TBefore::CopySpawn) CopySpawn(*obj);
        this->ApplyComponentProperties(*obj);
        if constexpr (After == TAfter::PlayWhenDelayed) obj->SetPlayState(obj->GetDelay() != 0 ? 1 : 0);
        if constexpr (After == TAfter::Open) obj->SetPlayState(1);
    }

private:
    // The animation's own copy of the delay expression, run when its last frame comes up.
    void CopyDelay(TVelaObject& Obj) const {
        auto* images = dynamic_cast<TVelaCustomImages*>(&Obj);
        const TVelaParser* delay = this->PropExpression(PR_DELAY);
        if (images && delay) images->GetLastFrameWait().Assign(*delay);
    }
    // The emitter's own copies of its spawn place and interval; an id the page's mask lacks
    // leaves that expression empty.
    void CopySpawn(TVelaObject& Obj) const {
        auto* emitter = dynamic_cast<TVelaParticle*>(&Obj);
        if (!emitter) return;
        const std::pair<TPropId, TVelaParser*> copies[] = {{PR_APPEARX, &emitter->GetSpawnX()},
                                                           {PR_APPEARY, &emitter->GetSpawnY()},
                                                           {PR_DELAY, &emitter->GetSpawnInterval()}};
        for (const auto& [id, expression] : copies)
            if (const TVelaParser* source = this->PropExpression(id)) expression->Assign(*source);
    }
};

constexpr TCommandEntry Entries[] = {
    {cmBoxNew, NewCommand<TComCreate<TComControl, cmBoxNew, LT_BOX>>},
    {cmImgNew, NewCommand<TComCreate<TComControl, cmImgNew, LT_IMAGES, TAfter::Nothing, TBefore::CopyDelay>>},
    {cmMesNew, NewCommand<TComCreate<TComControl, cmMesNew, LT_MES>>},
    {cmTimer, NewCommand<TComCreate<TComComponent, cmTimer, LT_TIMER>>},
    {cmMovie, NewCommand<TComCreate<TComControl, cmMovie, LT_VIDEO, TAfter::PlayWhenDelayed>>},
    {cmCinema, NewCommand<TComCreate<TComControl, cmCinema, LT_CINEMA>>},
    {cmCaption, NewCommand<TComCreate<TComControl, cmCaption, LT_LABEL>>},
    {cmMenu, NewCommand<TComCreate<TComControl, cmMenu, LT_MENU, TAfter::Open>>},
    {cmButton, NewCommand<TComCreate<TComControl, cmButton, LT_BUTTON>>},
    {cmParticleNew,
     NewCommand<TComCreate<TComControl, cmParticleNew, LT_PARTICLE, TAfter::Nothing, TBefore::CopySpawn>>},
    {cmFireNew, NewCommand<TComCreate<TComControl, cmFireNew, LT_FIRE>>},
    {cmSound, NewCommand<TComCreate<TComComponent, cmSound, LT_SOUND, TAfter::PlayWhenDelayed>>},
    {cmEditNew, NewCommand<TComCreate<TComControl, cmEditNew, LT_EDIT>>},
    {cmMemoNew, NewCommand<TComCreate<TComControl, cmMemoNew, LT_MEMO>>},
    {cmMapImgNew, NewCommand<TComCreate<TComControl, cmMapImgNew, LT_MAPIMG>>},
    {cmWaveNew, NewCommand<TComCreate<TComControl, cmWaveNew, LT_WAVE>>},
    {cmTileNew, NewCommand<TComCreate<TComControl, cmTileNew, LT_TILE>>},
    {cmSliderNew, NewCommand<TComCreate<TComControl, cmSliderNew, LT_SLIDER>>},
    {cmScrollbarNew, NewCommand<TComCreate<TComControl, cmScrollbarNew, LT_SCROLLBAR>>},
    {cmGaugeNew, NewCommand<TComCreate<TComControl, cmGaugeNew, LT_GAUGE>>},
    {cmCGCaption, NewCommand<TComCreate<TComControl, cmCGCaption, LT_CGLABEL>>},
    {cmPrevMenuNew, NewCommand<TComCreate<TComControl, cmPrevMenuNew, LT_PREVMENU>>},
};

}  // namespace

std::span<const TCommandEntry> ObjectCommands() { return Entries; }
