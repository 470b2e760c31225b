// libFuzzer target: an image in memory, every session of it imported into a
// compilation (Rock Ridge entries included), the disc-information list, then a new session laid out over
// what was imported.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/iso/disc_source.h"
#include "engine/kavo_burner.h"
#include "engine/session_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Small tables keep one input's work bounded; the limits are tested too.
  static engine::TKavoBurner* burner = new engine::TKavoBurner();
  burner->ResetCompilation(4096, 512);
  // Rock Ridge read from the input and written again over what was imported.
  burner->SetRockRidge(true);
  iso::ImageSource image(std::vector<std::uint8_t>(data, data + size));
  burner->SetDiscSource(&image);
  const std::uint8_t last = image.LastSession();
  for (std::uint8_t n = 1; n <= last && n <= 4; ++n) burner->ImportDiscSession(static_cast<std::int8_t>(n), nullptr);
  engine::SessionListLines(image);
  if (burner->CompilationEntryCount() != 0) {
    burner->PrepareLayout(engine::LayoutTarget::ImageFile);
    burner->BuildHeader();
  }
  burner->SetDiscSource(nullptr);
  return 0;
}
