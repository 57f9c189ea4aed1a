#include "PhotoPicker.h"

#include <QFileDialog>
#include <QPainter>
#include <algorithm>
#include <fstream>
#include <iterator>

#include "ImageView.h"
#include "PictureRendering.h"
#include "platform/foundation/Dispatch.h"
#include "platform/image/ImageSource.h"
#include "platform/photos/PhotoLibrary.h"

namespace sorvel {

namespace {

constexpr const char* kCell = "PhotoCell";

class PhotoCell final : public CollectionViewCell {
public:
    PhotoCell() {
        image_ = new ImageView(QRectF(0, 0, 10, 10), contentView());
        image_->setContentMode(ContentMode::AspectFill);
        image_->setBackgroundColor(QColor(58, 58, 60));
        image_->setClipsToBounds(true);
    }
    void show(const QImage* thumbnail) { image_->setImage(thumbnail ? *thumbnail : QImage()); }
    void prepareForReuse() override { image_->setImage(QImage()); }
    void setSelected(bool selected) override {
        CollectionViewCell::setSelected(selected);
        image_->setAlpha(selected ? 0.6 : 1.0);
    }

protected:
    void resizeEvent(QResizeEvent* event) override {
        CollectionViewCell::resizeEvent(event);
        image_->setFrame(bounds());
    }

private:
    ImageView* image_;
};

std::optional<Bytes> readFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    Bytes data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return data;
}

// A still's bytes made into an upright thumbnail filling a cell of `side` x `side` pixels (the
// picture's middle): from the file's embedded thumbnail when it is large enough. Any thread.
std::optional<QImage> decodeThumbnail(const Bytes& data, int side) {
    auto source = image::ImageSource::make(data);
    if (!source) return std::nullopt;
    const double shortSide = std::min(source->width(), source->height());
    const double longSide = std::max(source->width(), source->height());
    if (shortSide <= 0) return std::nullopt;
    // The short side fills the cell.
    const int maxSide = std::max(1, static_cast<int>(std::ceil(side * longSide / shortSide)));
    auto picture = source->thumbnail(maxSide);
    if (!picture) return std::nullopt;
    static const image::RenderContext context;
    return renderToQImage(picture->oriented(source->orientation()), context, maxSide);
}

}  // namespace

PhotoPickerController::PhotoPickerController(ScreenProfile profile, std::shared_ptr<PhotoLibrary> library)
    : ScreenController(profile), library_(std::move(library)) {}

PhotoPickerController::~PhotoPickerController() {
    *alive_ = false;
    if (grid_) {
        grid_->setDataSource(nullptr);
        grid_->setDelegate(nullptr);
    }
    delete dialog_.data();
}

void PhotoPickerController::viewDidLoad() {
    PhotoLibrary& library = library_ ? *library_ : PhotoLibrary::shared();
    for (PhotoAsset& a : library.assets())
        if (a.mediaType == AssetMediaType::Image && !a.resources.empty()) assets_.push_back(std::move(a));
    thumbnails_.resize(assets_.size());

    View* root = view();
    root->setBackgroundColor(QColor(0, 0, 0));
    const double w = root->bounds().width(), h = root->bounds().height();
    const double top = safeAreaInsets().top;
    bar_ = new NavigationBar(QRectF(0, 0, w, top + NavigationBar::kHeight), nullptr);
    bar_->setTitle("照片");
    bar_->setTintColor(QColor(10, 132, 255));
    bar_->setTitleColor(Qt::white);
    bar_->setLeftBarButtonItem(BarButtonItem::titled("取消", BarButtonStyle::Plain, "imagePickerControllerDidCancel", [this] { cancel(); }));
    bar_->setRightBarButtonItem(BarButtonItem::titled("文件…", BarButtonStyle::Plain, "chooseFile", [this] { chooseFile(); }));

    FlowLayout layout;
    layout.minimumInteritemSpacing = kSpacing;
    layout.minimumLineSpacing = kSpacing;
    const double gridTop = top + NavigationBar::kHeight;
    grid_ = new CollectionView(QRectF(0, gridTop, w, h - gridTop), layout, nullptr);
    grid_->registerCell(kCell, [] { return std::make_unique<PhotoCell>(); });
    grid_->setDataSource(this);
    grid_->setDelegate(this);
    root->addSubview(grid_);
    root->addSubview(bar_);
    grid_->reloadData();
    startThumbnails();
}

void PhotoPickerController::viewDidLayoutSubviews() {
    if (!grid_) return;
    const double w = view()->bounds().width(), h = view()->bounds().height();
    const double gridTop = safeAreaInsets().top + NavigationBar::kHeight;
    bar_->setFrame(QRectF(0, 0, w, gridTop));
    grid_->setFrame(QRectF(0, gridTop, w, h - gridTop));
}

int PhotoPickerController::thumbnailPixels() const {
    double side = (screenProfile().width - kSpacing * (kColumns - 1)) / kColumns;
    return static_cast<int>(std::ceil(side * screenProfile().scale));
}

void PhotoPickerController::startThumbnails() {
    // Without a library of its own the picker reads the shared one, which the app keeps.
    std::shared_ptr<PhotoLibrary> library = library_;
    const int side = thumbnailPixels();
    std::weak_ptr<bool> alive = alive_;
    // In the order shown, so the top of the grid fills first.
    for (std::size_t i = 0; i < assets_.size(); ++i) {
        std::string id = assets_[i].localIdentifier;
        DispatchQueue::global().async([this, alive, library, id, i, side] {
            if (alive.expired() || !*alive.lock()) return;
            PhotoLibrary& lib = library ? *library : PhotoLibrary::shared();
            auto data = lib.resourceData(id, 0);
            std::optional<QImage> thumb = data ? decodeThumbnail(*data, side) : std::nullopt;
            if (!thumb) return;
            DispatchQueue::main().async([this, alive, i, image = std::move(*thumb)]() mutable {
                if (auto a = alive.lock(); a && *a) thumbnailArrived(static_cast<int>(i), std::move(image));
            });
        });
    }
}

void PhotoPickerController::thumbnailArrived(int index, QImage image) {
    if (index < 0 || index >= static_cast<int>(thumbnails_.size())) return;
    thumbnails_[static_cast<std::size_t>(index)] = std::move(image);
    ++loaded_;
    if (auto* cell = dynamic_cast<PhotoCell*>(grid_->cellForItem(index)))
        cell->show(&thumbnails_[static_cast<std::size_t>(index)]);
}

const QImage* PhotoPickerController::thumbnail(int index) const {
    if (index < 0 || index >= static_cast<int>(thumbnails_.size())) return nullptr;
    const QImage& t = thumbnails_[static_cast<std::size_t>(index)];
    return t.isNull() ? nullptr : &t;
}

int PhotoPickerController::numberOfItems(CollectionView&) { return static_cast<int>(assets_.size()); }

CollectionViewCell* PhotoPickerController::cellForItem(CollectionView& view, int index) {
    auto* cell = static_cast<PhotoCell*>(view.dequeueReusableCell(kCell, index));
    if (cell) cell->show(thumbnail(index));
    return cell;
}

std::optional<QSizeF> PhotoPickerController::sizeForItem(CollectionView& view, int) {
    double side = std::floor((view.frame().width() - kSpacing * (kColumns - 1)) / kColumns);
    return QSizeF(side, side);
}

void PhotoPickerController::didSelectItem(CollectionView& view, int index) {
    view.deselectItem(index, Animated::Yes);
    pickItem(index);
}

bool PhotoPickerController::pickItem(int index) {
    if (index < 0 || index >= static_cast<int>(assets_.size())) return false;
    const PhotoAsset& asset = assets_[static_cast<std::size_t>(index)];
    PhotoLibrary& lib = library_ ? *library_ : PhotoLibrary::shared();
    auto data = lib.resourceData(asset.localIdentifier, 0);
    if (!data) return false;
    PickedPhoto photo;
    photo.assetIdentifier = asset.localIdentifier;
    if (auto file = lib.resourceFile(asset.localIdentifier, 0)) photo.file = *file;
    if (auto source = image::ImageSource::make(*data)) photo.orientation = source->orientation();
    photo.data = std::move(*data);
    if (onPick) onPick(*this, photo);
    return true;
}

bool PhotoPickerController::pickFile(const std::filesystem::path& file) {
    auto data = readFile(file);
    if (!data) return false;
    auto source = image::ImageSource::make(*data);
    if (!source) return false;
    PickedPhoto photo;
    photo.file = file;
    photo.orientation = source->orientation();
    photo.data = std::move(*data);
    if (onPick) onPick(*this, photo);
    return true;
}

void PhotoPickerController::cancel() {
    if (onCancel) onCancel(*this);
}

void PhotoPickerController::chooseFile() {
    if (dialog_) return;
    dialog_ = new QFileDialog(nullptr, "选择图片");
    dialog_->setFileMode(QFileDialog::ExistingFile);
    dialog_->setNameFilter("图片 (*.heic *.HEIC *.heif *.jpg *.JPG *.jpeg *.png *.PNG)");
    // Our own dialog, so it behaves the same on every desktop and offscreen.
    dialog_->setOption(QFileDialog::DontUseNativeDialog);
    dialog_->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(dialog_, &QFileDialog::fileSelected, [this, alive = std::weak_ptr<bool>(alive_)](const QString& path) {
        if (auto a = alive.lock(); a && *a) pickFile(path.toStdString());
    });
    dialog_->open();
}

}  // namespace sorvel
