// Controls and dialogs: filled in by the ui layer.
