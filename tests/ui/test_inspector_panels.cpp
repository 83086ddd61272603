#include "WindowTest.h"

using namespace WindowTest;

// The inspector panels over a real model: visibility rules, number fields and the crop list.
class TestInspectorPanels : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { UiFixture::prepareApplication(); }

    void imagePanelRules() {
        auto model = UiFixture::makeModel(true);
        model->setTab(u"image"_s);
        UiFixture::Window window(*model);
        SettingsModel* settings = model->settingsModel();

        QVERIFY(shown(window.find(u"imageMaxWidth"_s)));
        settings->setImageLimitWidth(false);
        QVERIFY(hidden(window, u"imageMaxWidth"_s));
        settings->setImageLimitWidth(true);
        QCOMPARE(window.find(u"imageMaxWidth"_s)->property("value").toInt(), 2400);

        settings->setImageFormat(u"webp"_s);
        QVERIFY(hidden(window, u"webpWarning"_s));
        QVERIFY(window.find(u"webpCopyToggle"_s)->isEnabled());

        model->setTools(FFmpegTools{u"/usr/bin/ffmpeg"_s, {}}, EncoderCaps{});
        QVERIFY(shown(window.find(u"webpWarning"_s)));
        QVERIFY(!window.find(u"webpCopyToggle"_s)->isEnabled());
        settings->setImageFormat(u"avif"_s);
        QVERIFY(hidden(window, u"webpWarning"_s));
        QVERIFY(shown(window.find(u"avifWarning"_s)));
        settings->setImageFormat(u"jpeg"_s);
        QVERIFY(hidden(window, u"avifWarning"_s));
    }

    void lettersNeverReachTheStoredWidth() {
        auto model = UiFixture::makeModel(true);
        model->setTab(u"image"_s);
        UiFixture::Window window(*model);
        auto* field = window.find(u"imageMaxWidth"_s);
        QQuickItem* input = nullptr;
        for (QQuickItem* candidate : window.findAll(u"numberInput"_s))
            if (field->isAncestorOf(candidate))
                input = candidate;
        QVERIFY(input);
        input->forceActiveFocus();
        QMetaObject::invokeMethod(input, "selectAll");
        type(window.window(), u"wide"_s);
        QCOMPARE(model->settings().imageMaxWidth, 2400);
        QMetaObject::invokeMethod(input, "selectAll");
        type(window.window(), u"1600"_s);
        QCOMPARE(model->settings().imageMaxWidth, 1600);
    }

    void videoPanelRules() {
        auto model = UiFixture::makeModel(true);
        model->setTab(u"video"_s);
        UiFixture::Window window(*model);
        SettingsModel* settings = model->settingsModel();
        QVERIFY(shown(window.find(u"audioBitrate"_s)));
        settings->setAudio(u"remove"_s);
        QVERIFY(hidden(window, u"audioBitrate"_s));
        settings->setAudio(u"mono"_s);
        QVERIFY(shown(window.find(u"audioBitrate"_s)));
        settings->setVideoLimitWidth(false);
        QVERIFY(hidden(window, u"videoMaxWidth"_s));
    }

    void outputPanelRules() {
        auto model = UiFixture::makeModel(true);
        model->setTab(u"output"_s);
        UiFixture::Window window(*model);
        QVERIFY(shown(window.find(u"subfolderRow"_s)));
        QVERIFY(hidden(window, u"customFolderBlock"_s));
        model->settingsModel()->setOutputMode(u"customFolder"_s);
        QVERIFY(hidden(window, u"subfolderRow"_s));
        QVERIFY(shown(window.find(u"customFolderBlock"_s)));
        QCOMPARE(textOf(window.find(u"customFolderPath"_s)), u"No folder chosen yet."_s);
        model->settingsModel()->setCustomFolderPath(u"/srv/web/media"_s);
        QCOMPARE(textOf(window.find(u"customFolderPath"_s)), u"/srv/web/media"_s);
    }

    void cropsAreAddedAndDeletedById() {
        TersioSettings settings;
        const CropVariant first =
            CropVariant::make(u"Story"_s, 9, 16, 1080, CropAnchor::center, true);
        const CropVariant second =
            CropVariant::make(u"Story"_s, 4, 5, 1080, CropAnchor::top, false);
        settings.cropVariants = {first, second};
        auto model = UiFixture::makeModel(true);
        model->setSettings(settings);
        model->setTab(u"crops"_s);
        UiFixture::Window window(*model);

        auto rows = window.findAll(u"deleteCrop"_s);
        QCOMPARE(rows.size(), 2);
        // The disabled crop is dimmed but still there to edit.
        QCOMPARE(rows.at(1)->parentItem()->parentItem()->parentItem()->opacity(), 0.55);
        click(window.window(), rows.at(1));
        QCOMPARE(model->settings().cropVariants.size(), 1);
        QCOMPARE(model->settings().cropVariants.first().id, first.id);

        click(window.window(), window.find(u"addCrop"_s));
        window.settle();
        const auto crops = model->settings().cropVariants;
        QCOMPARE(crops.size(), 2);
        const CropVariant& added = crops.last();
        QCOMPARE(added.name, u"New crop"_s);
        QCOMPARE(added.aspectW, 3);
        QCOMPARE(added.aspectH, 4);
        QCOMPARE(added.targetWidth, 720);
        QCOMPARE(added.anchor, CropAnchor::center);
        QVERIFY(added.enabled);
        QVERIFY(added.id != first.id);
        QCOMPARE(window.findAll(u"deleteCrop"_s).size(), 2);
    }
};

QTEST_MAIN(TestInspectorPanels)
#include "test_inspector_panels.moc"
