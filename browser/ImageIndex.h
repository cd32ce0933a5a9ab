#pragma once
// The icons the browser shows, by their index in the main window's two image lists. The
// pictures behind them belong to the window (browser/frame/IconSet.h).

// imgFormats: the tree, the information list, the save button and menu item.
enum FormatImage : int {
  kNoImage = -1,  // leaves the control's default
  kImgFile = 1,
  kImgPartition = 4,
  kImgDirectory = 6,
  kImgDeleted = 8,
  kImgSave = 10,
};

// imageListToolbars: the preview's tool bar.
enum ToolbarImage : int {
  kImgZoomIn = 1,
  kImgZoomOut = 2,
};
