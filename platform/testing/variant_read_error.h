#pragma once
// Test support: a settings reader refuses a variant form with "Ошибка при чтении из
// Variant".

#include <gtest/gtest.h>

#include "platform/base/exception.h"
#include "platform/variant/variant.h"

namespace tolver::testutil {

template <class T>
void ExpectReadError(T& settings, const Variant& v) {
    try {
        settings.SetFromVariant(v);
        ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), kVariantReadError);
    }
}

}  // namespace tolver::testutil
