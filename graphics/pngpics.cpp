// The PNG picture: its bitmaps, options and results, loaded through the reader and saved through
// the writer.
#include "graphics/pngpics.h"

TPngPicture::TPngPicture() { Time = TPngWriteStream::CurrentTime(); }

void TPngPicture::Changed() {
    if (OnChange) OnChange(*this);
}

void TPngPicture::LoadFromStream(TStream& Stream) {
    TPngReadStream reader;
    reader.MacBinaryCheck = MacBinaryCheck;
    reader.Allow15And16Bit = Allow15And16Bit;
    reader.Time = &Time;
    reader.Chromaticities = &Chromaticities;
    reader.GifData = &GifData;
    alpha_->Clear();
    reader.LoadStream(&image_, alpha_, Stream);
    HasAlpha = reader.HasAlpha;
    Comment = reader.Comment;
    Background = reader.Background;
    transparentColour_ = reader.TransparentColour;
    transparent_ = transparentColour_ != -1 && !HasAlpha;
    Interlace = reader.Interlace;
    Gamma = reader.Gamma;
    SignificantBits = reader.SignificantBits;
    PhysicalSize = reader.PhysicalSize;
    BitDepth = reader.BitDepth;
    Grey = reader.IsGrey;
    Changed();
}

void TPngPicture::SaveToStream(TStream& Stream) const {
    TPngWriteStream writer;
    static_cast<TPngWriteOptions&>(writer) = *this;
    writer.TransparentColour = transparentColour_;
    writer.SaveStream(image_, HasAlpha ? alpha_ : nullptr, Stream);
}

void TPngPicture::Assign(const TPngPicture& Source) {
    if (&Source == this) return;
    image_.Assign(&Source.image_);
    alpha_->Assign(Source.alpha_);
    static_cast<TPngWriteOptions&>(*this) = Source;
    MacBinaryCheck = Source.MacBinaryCheck;
    Allow15And16Bit = Source.Allow15And16Bit;
    HasAlpha = Source.HasAlpha;
    BitDepth = Source.BitDepth;
    transparent_ = Source.transparent_;
    transparentColour_ = Source.transparentColour_;
    Changed();
}

void TPngPicture::Assign(const TDIB& Source) {
    image_.Assign(&Source);
    Changed();
}

void TPngPicture::Resize(int32_t Width, int32_t Height) {
    image_.SetSize(Width, Height, image_.BitCount());
    alpha_->SetSize(Width, Height, 8);
    Changed();
}

void TPngPicture::SetWidth(int32_t Value) { Resize(Value, Height()); }
void TPngPicture::SetHeight(int32_t Value) { Resize(Width(), Value); }

void TPngPicture::SetTransparent(bool Value) {
    if (Value == transparent_) return;
    transparent_ = Value;
    Changed();
}

void TPngPicture::SetTransparentColour(int32_t Value) {
    transparentColour_ = Value;
    if (transparent_ != (Value != -1))
        SetTransparent(Value != -1);
    else
        Changed();
}

void TPngPicture::SetPalette(const TRGBQuadTable& Table) {
    image_.ColorTable = Table;
    image_.UpdatePalette();
    Changed();
}
