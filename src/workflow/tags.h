#pragma once

// Repository tags: when a group is released for test and when groups are homologated, the
// product's folder of the homologated repository is copied into a "tags" folder beside its
// trunk or branch, and the tag is deleted again when the transition that made it fails.

#include <QString>

class TdmGrupSoliHom;

class TagsSvn {
public:
    explicit TagsSvn(TdmGrupSoliHom &dm) : dm(dm) {}

    // Where a tag goes, from the homologated repository URL and the development working
    // copy. Every text that names a location carries its own double quotes.
    struct Locais {
        QString base;      // "URLHomol/"
        QString tagsroot;  // URLHomol cut at /trunk or /branches, + tags/
        QString pasta;     // the tag folder's name
        QString tagsdir;   // "tagsroot + pasta/"
        QString tagloc;    // "tagsroot + pasta/T/"
    };
    static Locais LocaisDaTag(const QString &urlHomol, const QString &dirDesenv, const QString &tag);
    // The tag folder's name: the development working copy's tail from "WEB" on, or its last
    // folder when it has no "WEB" (a whole Windows path has no place in a repository URL).
    static QString PastaDaTag(const QString &dirDesenv);

    // Creates tag `tag` for the product of the current group. `local` receives the tag's
    // location before the repository commands run, so that the caller can delete the tag
    // even when they fail. Returns the same location.
    QString Gera_Tag_SVN(const QString &tag, QString *local = nullptr);
    // True when the repository has a tag at this location (as Gera_Tag_SVN returns it).
    bool Existe(const QString &local) const;
    // Deletes a tag made by Gera_Tag_SVN; nothing for an empty location.
    void Deleta_SVN(const QString &local);

private:
    void RegistraTag(const QString &local, bool removida);

    TdmGrupSoliHom &dm;
};
