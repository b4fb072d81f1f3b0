#include "shell/drops.h"

#include "platform/platform.h"
#include "shell/controls.h"
#include "shell/window_state.h"

namespace {

// The drop's memory is the window's to release once it has been read, whatever it held.
class ReadDrop {
 public:
  explicit ReadDrop(HDROP drop) : drop_(drop) {}
  ~ReadDrop() { DragFinish(drop_); }
  ReadDrop(const ReadDrop&) = delete;
  ReadDrop& operator=(const ReadDrop&) = delete;
  HDROP get() const { return drop_; }

 private:
  HDROP drop_;
};

// point: in the main window's client coordinates, as DragQueryPoint gives it.
bool isUnder(HWND control, POINT point) {
  RECT rect;
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, mainWindow.window, reinterpret_cast<POINT*>(&rect), 2);
  return PtInRect(&rect, point) != FALSE;
}

HWND pathBoxAt(POINT point) {
  if (isUnder(mainWindow.originalGfxPathEdit, point) || isUnder(mainWindow.originalGfxPathLabel, point))
    return mainWindow.originalGfxPathEdit;
  if (isUnder(mainWindow.newGfxPathEdit, point) || isUnder(mainWindow.newGfxPathLabel, point))
    return mainWindow.newGfxPathEdit;
  return nullptr;
}

// The one item dropped, when it is a folder whose path fits a path box.
bool readDroppedFolder(HDROP drop, wchar_t (&path)[PATH_LIMIT + 1]) {
  if (DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) != 1) return false;
  const UINT length = DragQueryFileW(drop, 0, nullptr, 0);
  if (length == 0 || length > PATH_LIMIT) return false;
  if (DragQueryFileW(drop, 0, path, PATH_LIMIT + 1) != length) return false;
  return platform::statusOf(path).kind == platform::FileKind::Folder;
}

}  // namespace

void onDropFiles(HDROP drop) {
  const ReadDrop read(drop);
  POINT point = {};
  DragQueryPoint(read.get(), &point);
  HWND box = pathBoxAt(point);
  wchar_t path[PATH_LIMIT + 1];
  if (box && readDroppedFolder(read.get(), path)) setText(box, path);
}
