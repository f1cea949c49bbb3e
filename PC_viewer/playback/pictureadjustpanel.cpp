// The picture adjustments panel.
#include "playback/pictureadjustpanel.h"

#include "playback/playbackcontroller.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include <cmath>

namespace {

// Each slider in hundredths of its value over the range the panel offers (the CLI takes the
// whole range of the filter's values; a person reading a detail needs less).
struct tagADJUSTSLIDER {
    const char *caption;
    double tagPICTUREADJUST::*value;
    double min;
    double max;
};

const tagADJUSTSLIDER kSliders[] = {
    {"Brightness", &tagPICTUREADJUST::dBrightness, -1.0, 1.0},
    {"Contrast", &tagPICTUREADJUST::dContrast, 0.0, 3.0},
    {"Gamma", &tagPICTUREADJUST::dGamma, 0.1, 3.0},
    {"Sharpen", &tagPICTUREADJUST::dSharpen, 0.0, 3.0},
};

int ToSlider(double v)
{
    return static_cast<int>(std::lround(v * 100.0));
}

} // namespace

CPictureAdjustPanel::CPictureAdjustPanel(CPlaybackController *playback, QWidget *parent)
    : CSkinDialog(kDialogId, parent), m_playback(playback), m_reset(new QPushButton(QStringLiteral("Reset"), this))
{
    setWindowTitle(QStringLiteral("Picture"));
    setModal(false);
    auto *grid = new QGridLayout;
    for (size_t i = 0; i < m_sliders.size(); ++i) {
        const tagADJUSTSLIDER &s = kSliders[i];
        auto *slider = new QSlider(Qt::Horizontal, this);
        slider->setRange(ToSlider(s.min), ToSlider(s.max));
        slider->setMinimumWidth(160);
        m_sliders[i] = slider;
        m_values[i] = new QLabel(this);
        m_values[i]->setMinimumWidth(40);
        const int row = static_cast<int>(i);
        grid->addWidget(new QLabel(QString::fromLatin1(s.caption), this), row, 0);
        grid->addWidget(slider, row, 1);
        grid->addWidget(m_values[i], row, 2);
        connect(slider, &QSlider::valueChanged, this, &CPictureAdjustPanel::OnSliderMoved);
    }
    connect(m_reset, &QPushButton::clicked, this, [this] {
        tagPICTUREVIEW view = m_playback->PictureView();
        view.adjust = tagPICTUREADJUST();
        m_playback->SetPictureView(view);
    });
    auto *note = new QLabel(QStringLiteral("On screen only: the recordings are never changed."), this);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(note);
    layout->addWidget(m_reset, 0, Qt::AlignRight);
    connect(m_playback, &CPlaybackController::PictureViewChanged, this, &CPictureAdjustPanel::ShowView);
    ShowView(m_playback->PictureView());
}

void CPictureAdjustPanel::ShowView(const tagPICTUREVIEW &view)
{
    m_bShowing = true;
    for (size_t i = 0; i < m_sliders.size(); ++i) {
        const double v = view.adjust.*(kSliders[i].value);
        m_sliders[i]->setValue(ToSlider(v));
        m_values[i]->setText(QString::number(v, 'f', 2));
    }
    m_reset->setEnabled(!view.adjust.IsNeutral());
    m_bShowing = false;
}

void CPictureAdjustPanel::OnSliderMoved()
{
    if (m_bShowing)
        return;
    tagPICTUREVIEW view = m_playback->PictureView();
    for (size_t i = 0; i < m_sliders.size(); ++i)
        view.adjust.*(kSliders[i].value) = m_sliders[i]->value() / 100.0;
    m_playback->SetPictureView(view);
}
