// Effect settings of the text renderer: shadow, gradient fill, texture fill
// and the effect object that owns them. Plain values: setters store, they do
// not clamp and do not notify.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/bitmap.h"
#include "platform/colors.h"
#include "render/persistent.h"

namespace imprimo {

using TBlurStrength = uint8_t;  // 0..100
using TAlpha = uint8_t;         // 0..100 percent
using TOffset = int8_t;         // -20..20 pixels
using TSprayRange = uint8_t;    // 0..100 pixels
using TAngle = int16_t;         // -360..360 degrees

enum class TGradualStyle : uint8_t {
  gsLeftToRight,
  gsRightToLeft,
  gsTopToBottom,
  gsBottomToTop,
  gsCenterToLR,
  gsCenterToTB
};
enum class TTextureMode : uint8_t { tmTiled, tmStretched, tmCenter, tmNormal };

class TEnabledClass : public TPersistent {
 public:
  explicit TEnabledClass(TPersistent* owner = nullptr) : owner_(owner) {}
  const char* ClassName() const override { return "TEnabledClass"; }
  bool Enabled() const { return enabled_; }
  virtual void SetEnabled(bool v) { enabled_ = v; }
  // Copies Enabled from any settings object and, from one of the same class,
  // every other property too.
  virtual void Assign(const TPersistent& source);
  TPersistent* Owner() const { return owner_; }

 protected:
  // Copies the properties a subclass adds; called only for a source of the
  // same class.
  virtual void AssignProperties(const TEnabledClass&) {}

 private:
  TPersistent* owner_;
  bool enabled_ = false;
};

class TIAShadow : public TEnabledClass {
 public:
  using TEnabledClass::TEnabledClass;
  const char* ClassName() const override { return "TIAShadow"; }
  TBlurStrength Blur() const { return blur_; }
  void SetBlur(TBlurStrength v) { blur_ = v; }
  TAlpha Alpha() const { return alpha_; }
  void SetAlpha(TAlpha v) { alpha_ = v; }
  TColor Color() const { return color_; }
  void SetColor(TColor v) { color_ = v; }
  TOffset OffsetX() const { return offsetX_; }
  void SetOffsetX(TOffset v) { offsetX_ = v; }
  TOffset OffsetY() const { return offsetY_; }
  void SetOffsetY(TOffset v) { offsetY_ = v; }

 protected:
  void AssignProperties(const TEnabledClass& src) override;

 private:
  TBlurStrength blur_ = 80;
  TAlpha alpha_ = 70;
  TColor color_ = 0x444444;
  TOffset offsetX_ = 2;
  TOffset offsetY_ = 2;
};

class TIAGradual : public TEnabledClass {
 public:
  using TEnabledClass::TEnabledClass;
  const char* ClassName() const override { return "TIAGradual"; }
  TGradualStyle Style() const { return style_; }
  void SetStyle(TGradualStyle v) {
    if (style_ != v) style_ = v;
  }
  TColor StartColor() const { return startColor_; }
  void SetStartColor(TColor v) {
    if (startColor_ != v) startColor_ = v;
  }
  TColor EndColor() const { return endColor_; }
  void SetEndColor(TColor v) {
    if (endColor_ != v) endColor_ = v;
  }

 protected:
  void AssignProperties(const TEnabledClass& src) override;

 private:
  TGradualStyle style_ = TGradualStyle::gsLeftToRight;
  TColor startColor_ = 0xFFFFFF;
  TColor endColor_ = 0x000000;
};

// A picture holder: a raster image, an icon (a 32-bit image whose alpha marks
// its transparent parts) or nothing.
class TPicture : public TPersistent {
 public:
  const char* ClassName() const override { return "TPicture"; }
  bool Empty() const { return bitmap_.Empty(); }
  bool IsIcon() const { return icon_; }
  const TBitmap& Bitmap() const { return bitmap_; }
  void SetBitmap(TBitmap bitmap) {
    bitmap_ = std::move(bitmap);
    icon_ = false;
  }
  void SetIcon(TBitmap bitmap32) {
    bitmap_ = std::move(bitmap32);
    icon_ = true;
  }
  void Clear() {
    bitmap_ = TBitmap();
    icon_ = false;
  }
  void Assign(const TPicture& source) {
    bitmap_ = source.bitmap_;
    icon_ = source.icon_;
  }

 private:
  TBitmap bitmap_;
  bool icon_ = false;
};

class TIATexture : public TEnabledClass {
 public:
  using TEnabledClass::TEnabledClass;
  const char* ClassName() const override { return "TIATexture"; }
  TTextureMode Mode() const { return mode_; }
  void SetMode(TTextureMode v) {
    if (mode_ != v) mode_ = v;
  }
  const TPicture& Picture() const { return picture_; }
  // Copies the picture into the owned holder.
  void SetPicture(const TPicture& p) { picture_.Assign(p); }

 protected:
  void AssignProperties(const TEnabledClass& src) override;

 private:
  TTextureMode mode_ = TTextureMode::tmTiled;
  TPicture picture_;
};

class TIAEffect : public TEnabledClass {
 public:
  explicit TIAEffect(TPersistent* owner = nullptr);
  const char* ClassName() const override { return "TIAEffect"; }

  TIAShadow& Shadow() { return *shadow_; }
  const TIAShadow& Shadow() const { return *shadow_; }
  void SetShadow(const TIAShadow& v) { shadow_->Assign(v); }
  TIAGradual& Gradual() { return *gradual_; }
  const TIAGradual& Gradual() const { return *gradual_; }
  void SetGradual(const TIAGradual& v) { gradual_->Assign(v); }
  TIATexture& Texture() { return *texture_; }
  const TIATexture& Texture() const { return *texture_; }
  void SetTexture(const TIATexture& v) { texture_->Assign(v); }

  TAlpha Alpha() const { return alpha_; }
  void SetAlpha(TAlpha v) { alpha_ = v; }
  TBlurStrength Blur() const { return blur_; }
  void SetBlur(TBlurStrength v) { blur_ = v; }
  TAngle Angle() const { return angle_; }
  void SetAngle(TAngle v) { angle_ = v; }
  uint8_t Noise() const { return noise_; }
  void SetNoise(uint8_t v) { noise_ = v; }
  TSprayRange Spray() const { return spray_; }
  void SetSpray(TSprayRange v) { spray_ = v; }
  bool Outline() const { return outline_; }
  void SetOutline(bool v) { outline_ = v; }
  bool HorzMirror() const { return horzMirror_; }
  void SetHorzMirror(bool v) { horzMirror_ = v; }
  bool VertMirror() const { return vertMirror_; }
  void SetVertMirror(bool v) { vertMirror_ = v; }

 protected:
  void AssignProperties(const TEnabledClass& src) override;

 private:
  std::unique_ptr<TIAShadow> shadow_;
  std::unique_ptr<TIAGradual> gradual_;
  std::unique_ptr<TIATexture> texture_;
  TAlpha alpha_ = 100;
  TBlurStrength blur_ = 0;
  TAngle angle_ = 0;
  uint8_t noise_ = 0;
  TSprayRange spray_ = 0;
  bool outline_ = false;
  bool horzMirror_ = false;
  bool vertMirror_ = false;
};

}  // namespace imprimo
