#pragma once

#include <QSet>
#include <QString>

#include <functional>
#include <future>
#include <mutex>
#include <vector>

// Loads, off the window's thread, what the first Play of a file will need:
// the mixing and output elements once, and for each file given to a channel
// the plugins that decode it (its type is found by decoding its start). An
// idle player with no file chosen holds none of them.
class Preloader
{
public:
    Preloader() = default;
    ~Preloader(); // waits for what is under way
    Preloader(const Preloader &) = delete;
    Preloader &operator=(const Preloader &) = delete;

    // Then calls coreLoaded (if any) on its thread, once the core is in.
    void prepareFile(const QString &fileName, std::function<void()> coreLoaded = {});

    // Loads the pipeline's own elements and the ones a file's type needs; on
    // the calling thread.
    static void loadCore();
    static void loadForFile(const QString &fileName);

private:
    std::mutex m_mutex;
    std::vector<std::future<void>> m_work;
    QSet<QString> m_typesLoaded; // by content: a second file of a type loads nothing
    bool m_coreLoaded = false;
};
