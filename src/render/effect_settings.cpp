#include "render/effect_settings.h"

#include <cstring>
#include <typeinfo>

namespace imprimo {

void TEnabledClass::Assign(const TPersistent& source) {
  auto* src = dynamic_cast<const TEnabledClass*>(&source);
  if (!src) AssignError(source);
  SetEnabled(src->Enabled());
  if (typeid(*src) == typeid(*this)) AssignProperties(*src);
}

void TIAShadow::AssignProperties(const TEnabledClass& source) {
  const auto& s = static_cast<const TIAShadow&>(source);
  SetBlur(s.blur_);
  SetAlpha(s.alpha_);
  SetColor(s.color_);
  SetOffsetX(s.offsetX_);
  SetOffsetY(s.offsetY_);
}

void TIAGradual::AssignProperties(const TEnabledClass& source) {
  const auto& s = static_cast<const TIAGradual&>(source);
  SetStyle(s.style_);
  SetStartColor(s.startColor_);
  SetEndColor(s.endColor_);
}

void TIATexture::AssignProperties(const TEnabledClass& source) {
  const auto& s = static_cast<const TIATexture&>(source);
  SetMode(s.mode_);
  SetPicture(s.picture_);
}

TIAEffect::TIAEffect(TPersistent* owner)
    : TEnabledClass(owner),
      shadow_(std::make_unique<TIAShadow>(owner)),
      gradual_(std::make_unique<TIAGradual>(owner)),
      texture_(std::make_unique<TIATexture>(owner)) {}

void TIAEffect::AssignProperties(const TEnabledClass& source) {
  const auto& s = static_cast<const TIAEffect&>(source);
  shadow_->Assign(*s.shadow_);
  gradual_->Assign(*s.gradual_);
  texture_->Assign(*s.texture_);
  SetAlpha(s.alpha_);
  SetBlur(s.blur_);
  SetAngle(s.angle_);
  SetNoise(s.noise_);
  SetSpray(s.spray_);
  SetOutline(s.outline_);
  SetHorzMirror(s.horzMirror_);
  SetVertMirror(s.vertMirror_);
}

}  // namespace imprimo
