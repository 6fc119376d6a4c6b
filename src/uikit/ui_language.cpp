#include "uikit/ui_language.h"

#include <atomic>

#include <QCoreApplication>

namespace sonivate {
namespace {

std::atomic<UiLanguage> gWindowLanguage{UiLanguage::Japanese};

}  // namespace

UiLanguage WindowLanguage() { return gWindowLanguage.load(); }
void SetWindowLanguage(UiLanguage pLanguage) { gWindowLanguage.store(pLanguage); }

QString TrQ(const char* pContext, const char* pSource) { return QCoreApplication::translate(pContext, pSource); }

std::string TrText(const char* pContext, const char* pSource) { return TrQ(pContext, pSource).toStdString(); }

}  // namespace sonivate
