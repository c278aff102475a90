#pragma once
// The texture plug-in's panel: the texture's fields in one line (with where its pixels are
// stored and whether high-range colour is tone-mapped), the image (fit to the view or
// at a fixed zoom, over a checkerboard that shows its transparency or over the plain
// background) and a line for what went wrong. The panel only shows; it never edits the asset. It
// decodes its own copy of the image when it is made, and hears of refused imports from the
// session while it is attached.

#include <QImage>
#include <QWidget>

#include <string>

#include "plugins/texture/texture_session.h"

class QCheckBox;
class QLabel;
class QScrollArea;
class QToolButton;

namespace kestrova::texture {

class TextureView;

class TexturePanel : public QWidget, public TextureMessages {
public:
    TexturePanel(TextureSession& session, QWidget* parent);
    ~TexturePanel() override;

    // Shows `text` in the message line (a refused import, say); empty hides the line.
    void ShowMessage(const std::string& text);
    void Refused(const std::string& why) override { ShowMessage(why); }
    // Asks the user; the answer is No unless they choose Yes.
    bool AllowConversion(const std::string& question) override;
    void Imported(const std::string& note) override { ShowMessage(note); }

private:
    void SetFit(bool fit);
    void SetZoom(double zoom);
    void RefreshZoomText();

    TextureSession& session_;
    TextureView* view_ = nullptr;
    QScrollArea* scrollArea_ = nullptr;
    QLabel* message_ = nullptr;
    QLabel* zoomText_ = nullptr;
    QToolButton* fitButton_ = nullptr;
};

}  // namespace kestrova::texture
