#include "functions/StandardPackage.h"

namespace kb {

KB_REGISTER_PACKAGE(TStandardPackage);

TStandardPackage::TStandardPackage(TComponent* AOwner) : TUserPackage(AOwner) {
  AfterConstruction();
}

void TStandardPackage::CreateFunctions() {
  TUserPackage::CreateFunctions();
  // The package's table, in order: the classes defined in the
  // StandardPackage*.cpp files (a name that is no function class raises).
  RegisterClasses({
      "TAndFunction",                 // and
      "TAssertFunction",              // assert
      "TAssertStringFunction",        // assert-string
      "TBatchFunction",               // batch
      "TBindFunction",                // bind
      "TClearFunction",               // clear
      "TClearStorageFunction",        // clear-storage
      "TCloseFunction",               // close
      "TDoBackwardChainingFunction",  // do-backward-chaining
      "TDribbleOnFunction",           // dribble-on
      "TDribbleOffFunction",          // dribble-off
      "TDuplicateFunction",           // duplicate
      "TEqFunction",                  // eq
      "TEqStarFunction",              // eq*
      "TEqualsFunction",              // =
      "TExitFunction",                // exit
      "TExtractGlobalFunction",       // __get-var
      "TFetchFunction",               // fetch
      "TForEachFunction",             // foreach
      "TFormatFunction",              // format
      "TGenSymStarFunction",          // gensym*
      "TGetFactDuplicationFunction",  // get-fact-duplication
      "TGtFunction",                  // >
      "TGtOrEqFunction",              // >=
      "THaltFunction",                // halt
      "TIfFunction",                  // if
      "TLoadFunction",                // load
      "TLoadFactsFunction",           // load-facts
      "TLoadFactsJsonFunction",       // load-facts-json
      "TLoadComponentFunction",       // load-component
      "TLtFunction",                  // <
      "TLtOrEqFunction",              // <=
      "TModifyFunction",              // modify
      "TNeqFunction",                 // neq
      "TNotEqualsFunction",           // <>
      "TNotFunction",                 // not
      "TOpenFunction",                // open
      "TOrFunction",                  // or
      "TPrintOutFunction",            // printout
      "TReadFunction",                // read
      "TReadLineFunction",            // readline
      "TRemoveFunction",              // remove
      "TRenameFunction",              // rename
      "TResetFunction",               // reset
      "TRetractFunction",             // retract
      "TRetractStringFunction",       // retract-string
      "TReturnFunction",              // return
      "TRunFunction",                 // run
      "TSaveFunction",                // save
      "TSaveFactsFunction",           // save-facts
      "TSaveFactsJsonFunction",       // save-facts-json
      "TSaveComponentFunction",       // save-component
      "TSetFactDuplicationFunction",  // set-fact-duplication
      "TStoreFunction",               // store
      "TTryFunction",                 // try
      "TThrowFunction",               // throw
      "TUnwatchFunction",             // unwatch
      "TVersionFunction",             // version
      "TWatchFunction",               // watch
      "TWhileFunction",               // while
      "TCreateMFFunction",            // create$
      "TDeleteMFFunction",            // delete$
      "TExplodeMFFunction",           // explode$
      "TFirstMFFunction",             // first$
      "TImplodeMFFunction",           // implode$
      "TInsertMFFunction",            // insert$
      "TLengthMFFunction",            // length$
      "TMemberMFFunction",            // member$
      "TNthMFFunction",               // nth$
      "TReplaceMFFunction",           // replace$
      "TRestMFFunction",              // rest$
      "TSubSeqMFFunction",            // subseq$
      "TSubSetpMFFunction",           // subsetp
  });
}

}  // namespace kb
