#pragma once
// Scene-object properties by id: a property read into a script value and a script value written
// into a property, through the object's typed accessors. Each id has the value type of
// PropTypes; PR_HANDLEKEY is read and written as a flag although scripts see it as an integer.
#include "core/header.h"
#include "script/params_values.h"

#include <cstdint>

class TVelaObject;

// Stores property Id of Obj into Dest through Dest's setter of the property's kind (Dest converts
// when its own type differs). EVelaError "GetPropエラー" for an id above 170.
void GetObjectProp(TCustomParam& Dest, TVelaObject& Obj, uint8_t Id);
// Writes Value, read in the property's kind, into property Id of Obj. The read-only ids (caret
// position and height, playing, type code) ignore writes; EVelaError "SetPropエラー" for an id
// above 170 and for PR_APPEARX and PR_APPEARY. A PR_PARENT text is looked up as a control of the
// object's root ("" the current layer, 0x01 the other one); a layer never moves, nor does an
// object whose new parent is not found.
void SetObjectProp(TVelaObject& Obj, uint8_t Id, const TCustomParam& Value);

