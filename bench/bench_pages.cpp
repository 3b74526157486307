// Reading today's result pages: every page of the modern fixture folder is
// served by the local test server and loaded into a browser view twice.
//   program: the search driver loads it, waits for it, reads it as the add-all
//            loop does (read, read again, find the next page); the figure runs
//            from the view's load-finished signal to the next-page decision.
//   bare:    a plain engine view with no program code; from its load-finished
//            signal to the answer of one call of the same reading script (the
//            least any reader of the page pays). The time of a call that reads
//            nothing ("document.title") is printed beside it.
// Also checks the rows against expected.tsv. Run under a display (xvfb-run).
// Last line: "pages: N, rows right R/E, after-load median X ms, bare Y ms".
#include "net/WebBrowserView.h"
#include "net/WebSession.h"
#include "search/PageExtractor.h"
#include "search/ResultListModel.h"
#include "search/SearchDriver.h"
#include "support/FixtureTables.h"
#include "support/TestServer.h"
#include "util/Wait.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <algorithm>
#include <cstdio>
#ifndef Q_OS_WIN
#include <unistd.h>
#endif

using namespace dh;

namespace {

constexpr int kRounds = 5;

// The host of a search window, reduced to what reading a page needs.
class Host : public SearchHost {
public:
    ResultListModel model;
    bool scholar = false;
    int DelaySeconds() const override { return 0; }
    ExtractOptions ExtractionOptions() const override
    {
        ExtractOptions o;
        o.scholar = scholar;
        return o;
    }
    QString ChooseBase() override { return {}; }
    QStringList KeywordGroups() const override { return {}; }
    QStringList Types() const override { return {}; }
    QString BuildUrl(const QString &, const QString &, const QString &) const override { return {}; }
    bool PromptForSaveLocation() const override { return false; }
    void ShowSaveLocationDialog() override {}
    void AddRow(const QString &title, const QString &url, const QString &page, const QString &type,
                const QString &folder, const QString &last) override
    {
        model.加入LV1(title, url, page, type, folder, last);
    }
    void RowsChanged() override {}
    void FitColumns() override {}
    QString DefaultFolder() const override { return {}; }
    void PageNote(const QString &) override {}
};

double Median(QList<double> v)
{
    if (v.isEmpty())
        return 0;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

double Ms(qint64 ns) { return double(ns) / 1e6; }

} // namespace

int main(int argc, char **argv)
{
#ifndef Q_OS_WIN
    if (geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
#endif
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    const QList<QStringList> pages = test::ReadFixtureTable(QStringLiteral("serp-modern/pages.tsv"));
    const QList<QStringList> truth = test::ReadFixtureTable(QStringLiteral("serp-modern/expected.tsv"));
    if (pages.isEmpty() || truth.isEmpty()) {
        std::fprintf(stderr, "fixtures not found under %s\n", DH_FIXTURES_DIR);
        return 1;
    }
    test::TestServer server;
    if (!server.Start())
        return 1;
    QStringList urls;
    for (const QStringList &p : pages) {
        const QString path = QStringLiteral("/modern/") + p[0];
        server.AddDocument(path, test::DocumentOptions::File(QStringLiteral(DH_FIXTURES_DIR "/serp-modern/") + p[0],
                                                             "text/html; charset=utf-8"));
        urls << server.Url(path);
    }

    QElapsedTimer clock;
    clock.start();

    // The program's reading.
    WebBrowserView view;
    view.SetSilent(true);
    view.Widget()->resize(1200, 900);
    view.Widget()->show();
    Host host;
    SearchDriver driver(&view, &host);
    qint64 loadedAt = 0;
    QObject::connect(&view, &BrowserView::documentComplete, &view, [&] { loadedAt = clock.nsecsElapsed(); });

    // A bare view beside it.
    QWebEngineView bare;
    bare.setPage(new QWebEnginePage(WebSession::Instance().Profile(), &bare));
    bare.resize(1200, 900);
    bare.show();
    QFile scriptFile(QStringLiteral(DH_TEST_SOURCE_DIR "/../src/net/snapshot.js"));
    const QString snapshotScript = scriptFile.open(QIODevice::ReadOnly) ? QString::fromUtf8(scriptFile.readAll()) : QString();
    auto bareRead = [&](const QString &script, const QString &url) {
        QEventLoop loop;
        qint64 finished = 0;
        qint64 answered = 0;
        const auto c = QObject::connect(bare.page(), &QWebEnginePage::loadFinished, &loop, [&](bool) {
            finished = clock.nsecsElapsed();
            bare.page()->runJavaScript(script, QWebEngineScript::ApplicationWorld, [&](const QVariant &) {
                answered = clock.nsecsElapsed();
                loop.quit();
            });
        });
        QTimer::singleShot(30000, &loop, &QEventLoop::quit);
        bare.load(QUrl(url));
        loop.exec();
        QObject::disconnect(c);
        return answered > 0 ? Ms(answered - finished) : -1.0;
    };

    QList<double> program, plain, plainSnapshot;
    int rowsRight = 0;
    // Page by page, the three side by side, so that both meet the same machine.
    for (int round = 0; round < kRounds; ++round) {
        for (int i = 0; i < pages.size(); ++i) {
            host.model.Clear();
            host.scholar = pages[i][0].startsWith(QLatin1String("scholar"));
            const qint64 before = loadedAt;
            view.Navigate(urls[i]);
            // The driver's own wait: it should wake as the load finishes.
            WaitUntil([&] { return loadedAt != before && !view.IsBusy(); }, 30000);
            driver.ExtractPageLinks();
            driver.ExtractPageLinks();
            const NextPage next = FindNextPage(driver.ExtractPageLinks());
            const qint64 decided = clock.nsecsElapsed();
            program << Ms(decided - loadedAt);
            if (const double ms = bareRead(snapshotScript, urls[i]); ms >= 0)
                plainSnapshot << ms;
            if (const double ms = bareRead(QStringLiteral("document.title"), urls[i]); ms >= 0)
                plain << ms;
            if (round == 1) {
                QElapsedTimer t;
                t.start();
                const PageSnapshot again = view.Snapshot();
                const double snapMs = Ms(t.nsecsElapsed());
                t.restart();
                ExtractPageLinks(again, {}, host.ExtractionOptions(), {});
                std::printf("  %-54s snapshot %.1f ms (%lld KB), rules %.2f ms\n", qPrintable(pages[i][0]), snapMs,
                            qint64(again.html.size() / 1024), Ms(t.nsecsElapsed()));
            }
            if (round > 0)
                continue;
            QHash<QString, QStringList> want;
            for (const QStringList &t : truth)
                if (t.size() >= 4 && t[0] == pages[i][0])
                    want.insert(t[2], t);
            for (int r = 0; r < host.model.Count(); ++r) {
                const auto it = want.constFind(host.model.Key(r));
                if (it != want.constEnd() && host.model.Type(r).toUpper() == it->at(3).toUpper())
                    ++rowsRight;
            }
            std::printf("%-56s rows %3d of %3lld, next %s\n", qPrintable(pages[i][0]), host.model.Count(),
                        qint64(want.size()), next.found() ? "yes" : "no");
        }
    }

    std::printf("after-load, program: median %.2f ms over %lld loads\n", Median(program), qint64(program.size()));
    std::printf("bare view, one call of the reading script: median %.2f ms over %lld loads\n",
                Median(plainSnapshot), qint64(plainSnapshot.size()));
    std::printf("bare view, one call of \"document.title\" (no reading): median %.2f ms\n", Median(plain));
    std::printf("pages: %lld, rows right %d/%lld, after-load median %.1f ms, bare %.1f ms\n", qint64(pages.size()),
                rowsRight, qint64(truth.size()), Median(program), Median(plainSnapshot));
    return 0;
}
