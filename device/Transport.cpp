#include "Transport.h"

#include "PipeTransport.h"
#include "SerialTransport.h"

std::unique_ptr<ITransport> MakeTransport(const QString& name)
{
    if (TPipePort::find(name))
        return std::make_unique<TPipeTransport>();
    return std::make_unique<TSerialTransport>();
}
