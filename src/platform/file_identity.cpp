// How a file found under a copy's name is told from the copy made, on every system alike.
#include "platform/platform.h"

namespace platform {

Removal compareWithMade(const FileIdentity& made, const FileIdentity& now, bool bornBySystem) {
  if (made.volume != now.volume || made.file != now.file || made.fileHigh != now.fileHigh)
    return Removal::NotTheFileMade;
  // A creation time that any program may set (and that Wine takes from the last write time)
  // tells only that the file changed, not that it is another.
  const bool bothBorn = made.born != 0 && now.born != 0;
  if (bothBorn && made.born != now.born) return bornBySystem ? Removal::NotTheFileMade : Removal::StateChanged;
  if (bothBorn && bornBySystem) return Removal::Removed;
  // A write, a new link or a rename moves the change time, and so does a later file given the
  // same index: without a birth time to tell, the two look alike.
  if (made.changed != 0 && now.changed != 0 && made.changed != now.changed) return Removal::StateChanged;
  return Removal::Removed;
}

}  // namespace platform
