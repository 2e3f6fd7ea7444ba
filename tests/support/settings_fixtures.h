// Settings records the tests fill with values a reader could not mistake
// for the defaults.
#pragma once

#include "app/settings.h"

namespace imprimo::testing {

// A record with no field at its default value, each within what the
// options dialog shows.
inline void FillNonDefaultSettings(TSettings& s, TProgramValues& v) {
  s.Resize = true;
  s.NewWidth = 1234;
  s.NewHeight = 567;
  s.ResizeMode = 1;
  s.DrawBorder = true;
  s.BorderTopWidth = 11;
  s.BorderRightWidth = 12;
  s.BorderBottomWidth = 13;
  s.BorderLeftWidth = 14;
  s.BorderColor = 0x00336699;
  s.BorderMode = 3;
  s.BorderPosition = false;
  s.PathType = 1;
  s.OutPath = "/tmp/Ausgabe \xC3\xBC/";
  s.Quality = 42;
  s.Compress = 8;
  s.Colors = 1;
  s.SaveFormat = 1;
  s.ChangeCase = 0;
  s.OverwriteOutput = true;
  s.Rename = true;
  s.RenameTpl = "Trip_{FN}###";
  s.RenameNo = 7654321;
  s.KeepExif = false;
  s.AutoRotate = false;
  v.Open = true;
  v.RemoveList = true;
  v.Close = true;
}

}  // namespace imprimo::testing
