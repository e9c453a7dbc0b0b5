// The objects editor.
#pragma once

#include "CatalogueForm.h"

class TObjForm : public TCatalogueForm
{
    Q_OBJECT
public:
    explicit TObjForm(IPrompter* prompter, QWidget* parent = nullptr)
        : TCatalogueForm(TCatalogueEditor::ckObjects, prompter, parent)
    {
        setObjectName(QStringLiteral("ObjForm"));
    }
};
