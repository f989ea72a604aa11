#pragma once
// TFrm_osd: the hidden host form that holds the engine between InitVxOSD and FreeVxOSD, and
// the picture control the engine hands each card-less frame to.

#include <memory>

#include "engine/osd.h"
#include "platform/forms.h"

namespace vx {

class TFrm_osd : public TForm {
 public:
  TFrm_osd() {
    Caption = "Frm_osd";
    Left = 192;
    Top = 114;
    Width = 238;
    Height = 160;
  }
  ~TFrm_osd() override { osd.reset(); }  // the engine goes before the picture control

  TImage image;
  std::unique_ptr<TOSD> osd;
};

}  // namespace vx
