#pragma once
// The photo picker: a screen of the photo library's pictures, newest first, as square
// thumbnails in four columns, with "取消" to give up and "文件…" to choose any picture file
// instead. It opens at once with grey placeholders; each thumbnail is decoded by the image
// framework off the main thread (the global queue), turned upright, reduced to the cell's
// pixels and drawn as it arrives. Only still pictures are shown (a Live Photo by its still).
//
//   auto picker = std::make_shared<PhotoPickerController>(profile);
//   picker->onPick = [](PhotoPickerController& p, const PickedPhoto& photo) { ...; p.dismiss(); };
//   picker->onCancel = [](PhotoPickerController& p) { p.dismiss(); };
//   host.present(picker);
//
// The handlers run on the main thread; the picker does not close itself (the caller does, as
// a phone's picker delegate does). Main thread only.

#include <QPointer>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CollectionView.h"
#include "NavigationBar.h"
#include "platform/foundation/Value.h"
#include "platform/photos/PhotoAsset.h"

#include <QFileDialog>

namespace sorvel {

class PhotoLibrary;

struct PickedPhoto {
    std::string assetIdentifier;  // empty for a file chosen outside the library
    std::filesystem::path file;
    Bytes data;            // the file's bytes as stored
    int orientation = 1;   // of the stored pixels (1..8), for the caller to turn them upright
};

class PhotoPickerController : public ScreenController, CollectionViewDataSource, CollectionViewDelegate {
public:
    static constexpr int kColumns = 4;
    static constexpr double kSpacing = 2;

    // `library`: where the pictures come from (the shared library when null).
    explicit PhotoPickerController(ScreenProfile profile, std::shared_ptr<PhotoLibrary> library = nullptr);
    ~PhotoPickerController() override;

    std::function<void(PhotoPickerController&, const PickedPhoto&)> onPick;
    std::function<void(PhotoPickerController&)> onCancel;

    void viewDidLoad() override;
    void viewDidLayoutSubviews() override;

    // The pictures shown, newest first.
    const std::vector<PhotoAsset>& assets() const { return assets_; }
    CollectionView* collectionView() const { return grid_; }
    NavigationBar* navigationBar() const { return bar_; }
    // Thumbnails that have arrived so far.
    int thumbnailsLoaded() const { return loaded_; }
    const QImage* thumbnail(int index) const;
    // Side of a thumbnail in pixels (the cell's points times the screen's scale).
    int thumbnailPixels() const;

    // What a tap on item `index` does; false when its file cannot be read.
    bool pickItem(int index);
    // Picks a picture file from anywhere; false (and nothing picked) when it is no picture.
    bool pickFile(const std::filesystem::path& file);
    void cancel();
    // Opens the file chooser ("文件…"); the dialog on screen, or nullptr.
    void chooseFile();
    QFileDialog* fileDialog() const { return dialog_; }

private:
    int numberOfItems(CollectionView&) override;
    CollectionViewCell* cellForItem(CollectionView& view, int index) override;
    std::optional<QSizeF> sizeForItem(CollectionView& view, int index) override;
    void didSelectItem(CollectionView& view, int index) override;
    void startThumbnails();
    void thumbnailArrived(int index, QImage image);

    std::shared_ptr<PhotoLibrary> library_;
    std::vector<PhotoAsset> assets_;
    std::vector<QImage> thumbnails_;
    int loaded_ = 0;
    CollectionView* grid_ = nullptr;
    NavigationBar* bar_ = nullptr;
    QPointer<QFileDialog> dialog_;
    // Checked by decoding blocks: the picker may be gone when they finish.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace sorvel
