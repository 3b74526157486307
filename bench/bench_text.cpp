// Times the per-title text routines of the result extraction over 100 000
// titles of 40 characters (mixed simplified, traditional and ASCII).
// Target: each routine at most 0.5 s for all titles.
#include "util/ChineseScript.h"
#include "util/TextCoding.h"

#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstdio>

namespace {

constexpr int kTitles = 100000;
constexpr int kLength = 40;

QStringList MakeTitles()
{
    const QString simplified = QString::fromUtf8(
        "的一是在不了有和人这中大为上个国我以要他时来用们生到作地于出就分对成会可主发年动同工也能下过子说产"
        "种面而方后多定行学法所民得经十三之进着等部度家电力里如水化高自二理起小物现实加量都两体制机当使点");
    const QString traditional = QString::fromUtf8(
        "機器學習與資料庫網絡電腦軟體開發設計圖書館關係經濟歷史語言實驗報導環境衛視廣東龍鳳應變區議選舉權");
    const QString ascii = QStringLiteral("abcdefghijklmnopqrstuvwxyz ABCDEFGHIJKLMNOPQRSTUVWXYZ 0123456789 -_.");
    std::uint32_t seed = 20240601;
    const auto next = [&seed](int bound) {
        seed = seed * 1664525u + 1013904223u; // fixed LCG: the same titles on every run
        return int((seed >> 8) % std::uint32_t(bound));
    };
    QStringList titles;
    titles.reserve(kTitles);
    for (int t = 0; t < kTitles; ++t) {
        QString title;
        title.reserve(kLength);
        for (int c = 0; c < kLength; ++c) {
            const int kind = next(10);
            const QString &pool = kind < 5 ? simplified : kind < 7 ? traditional : ascii;
            title += pool[next(int(pool.size()))];
        }
        titles += title;
    }
    return titles;
}

template <typename F>
double Seconds(F &&f)
{
    QElapsedTimer timer;
    timer.start();
    f();
    return double(timer.nsecsElapsed()) / 1e9;
}

} // namespace

int main()
{
    const QStringList titles = MakeTitles();

    // The first calls build the code-page and simplification tables.
    const double warmUp = Seconds([] {
        dh::UrlEncodeKeyword(QStringLiteral("x"));
        dh::HasTraditionalChinese(QStringLiteral("x"));
        dh::ToSimplifiedChinese(QStringLiteral("x"));
    });

    qsizetype encodedLength = 0;
    const double encode = Seconds([&] {
        for (const QString &title : titles)
            encodedLength += dh::UrlEncodeKeyword(title).size();
    });
    int traditionalCount = 0;
    const double traditional = Seconds([&] {
        for (const QString &title : titles)
            traditionalCount += dh::HasTraditionalChinese(title) ? 1 : 0;
    });
    qsizetype changed = 0;
    const double simplify = Seconds([&] {
        for (const QString &title : titles)
            changed += dh::ToSimplifiedChinese(title) != title ? 1 : 0;
    });

    std::printf("titles: %d of %d characters\n", kTitles, kLength);
    std::printf("first use (tables):    %.3f s\n", warmUp);
    std::printf("UrlEncodeKeyword:      %.3f s  (%lld characters out)\n", encode, static_cast<long long>(encodedLength));
    std::printf("HasTraditionalChinese: %.3f s  (%d titles hit)\n", traditional, traditionalCount);
    std::printf("ToSimplifiedChinese:   %.3f s  (%lld titles changed)\n", simplify, static_cast<long long>(changed));
    const bool met = encode <= 0.5 && traditional <= 0.5 && simplify <= 0.5;
    std::printf("target 0.5 s each: %s\n", met ? "met" : "MISSED");
    return met ? 0 : 1;
}
