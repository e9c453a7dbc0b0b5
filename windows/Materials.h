// The materials editor.
#pragma once

#include "CatalogueForm.h"

class TMatForm : public TCatalogueForm
{
    Q_OBJECT
public:
    explicit TMatForm(IPrompter* prompter, QWidget* parent = nullptr)
        : TCatalogueForm(TCatalogueEditor::ckMaterials, prompter, parent)
    {
        setObjectName(QStringLiteral("MatForm"));
    }
};
